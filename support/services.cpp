#include "Corbelin/SupportFoundation.h"
#include "Corbelin/SupportServices.h"

#include <mutex>

namespace Corbelin {
namespace {

class LocalizationMgr final : public ILocalizationMgr {
public:
    void SetLanguage(int code) override { m_code = code; }

private:
    int m_code = 0;
};

class ProductMeta final : public IProductMeta {
public:
    explicit ProductMeta(std::string id) : m_id(std::move(id)) {}
    void SetVersion(const std::string& version) override { m_version = version; }
    void SetMakerName(const std::string& makerName) override { m_maker = makerName; }
    std::string ProductId() const override { return m_id; }
    std::string Version() const override { return m_version; }
    std::string MakerName() const override { return m_maker; }

private:
    std::string m_id, m_version, m_maker;
};

class UpdatesService final : public IUpdatesService {
public:
    void Configure(const std::shared_ptr<IProductMeta>& meta, bool) override { m_meta = meta; }
    void CheckForUpdates(const std::string&) override {}

private:
    std::shared_ptr<IProductMeta> m_meta;
};

class NoError final : public IError {
public:
    int Code() const override { return 0; }
    std::string Message() const override { return {}; }
};

} // namespace

std::shared_ptr<ILocalizationMgr> ILocalizationMgr::SharedLocalizationMgr()
{
    static const auto mgr = std::make_shared<LocalizationMgr>();
    return mgr;
}

std::shared_ptr<IProductMeta> IProductMeta::MallocProductMeta(const std::string& productId)
{
    return std::make_shared<ProductMeta>(productId);
}

std::shared_ptr<IUpdatesService> IUpdatesService::Shared()
{
    static const auto service = std::make_shared<UpdatesService>();
    return service;
}

std::shared_ptr<const IError> ICrashReportService::StartCrashReportingWith(const std::string&)
{
    return std::make_shared<NoError>();
}

} // namespace Corbelin
