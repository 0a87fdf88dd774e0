#pragma once
// Carries the running count of one format from the export's worker to the
// thread the reporter lives on (the GUI thread).

#include <QObject>

#include <memory>

class ProgressReporter : public QObject {
    Q_OBJECT
public:
    explicit ProgressReporter(QObject* parent = nullptr) : QObject(parent) {}

public slots:
    // done: items of the format handled so far (not a difference).
    void onProgress(int done) { emit progressUpdated(done); }

signals:
    void progressUpdated(int done);
};

Q_DECLARE_METATYPE(std::shared_ptr<ProgressReporter>)
