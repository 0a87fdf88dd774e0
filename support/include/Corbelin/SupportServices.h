#pragma once
// Product metadata, update checks and crash reporting. This stand-in records
// what it is given and does nothing else.

#include <memory>
#include <string>

namespace Corbelin {

class IError {
public:
    virtual ~IError() = default;
    virtual int Code() const = 0;
    virtual std::string Message() const = 0;
};

class IProductMeta {
public:
    virtual ~IProductMeta() = default;
    static std::shared_ptr<IProductMeta> MallocProductMeta(const std::string& productId);
    virtual void SetVersion(const std::string& version) = 0;
    virtual void SetMakerName(const std::string& makerName) = 0;
    virtual std::string ProductId() const = 0;
    virtual std::string Version() const = 0;
    virtual std::string MakerName() const = 0;
};

class IUpdatesService {
public:
    virtual ~IUpdatesService() = default;
    static std::shared_ptr<IUpdatesService> Shared();
    virtual void Configure(const std::shared_ptr<IProductMeta>& meta, bool automatic) = 0;
    virtual void CheckForUpdates(const std::string& argument) = 0;
};

class ICrashReportService {
public:
    static std::shared_ptr<const IError> StartCrashReportingWith(const std::string& configuration);
};

} // namespace Corbelin
