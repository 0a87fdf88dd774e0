#pragma once
// The record kinds besides mail: appointments, contacts, journal entries,
// tasks and sticky notes.

#include "sorrel/items/PstItem.h"

class PstCalendarItem : public PstItem {
    Q_DECLARE_TR_FUNCTIONS(PstCalendarItem)
public:
    PstItemKind kind() const override { return PstItemKind::Calendar; }
    QString iconPath() const override;
    QString durationText() const override;  // "1d 0h 30m"
    qint64 sortTime() const override;       // "startDate"
    std::shared_ptr<PstItem> clone() const override;
    QList<InfoSection> infoSections(const PstItemBody& body) const override;
};

class PstContactItem : public PstItem {
    Q_DECLARE_TR_FUNCTIONS(PstContactItem)
public:
    PstItemKind kind() const override { return PstItemKind::Contact; }
    QString title() const override;    // first name, space, surname
    QString subject() const override;  // "primaryEmail"
    QString iconPath() const override;
    std::shared_ptr<PstItem> clone() const override;
    QList<InfoSection> infoSections(const PstItemBody& body) const override;
};

class PstJournalItem : public PstItem {
    Q_DECLARE_TR_FUNCTIONS(PstJournalItem)
public:
    PstItemKind kind() const override { return PstItemKind::Journal; }
    QString iconPath() const override;
    QString durationText() const override;  // "1 d 1 h", "0 m"
    std::shared_ptr<PstItem> clone() const override;
    QList<InfoSection> infoSections(const PstItemBody& body) const override;

    qint64 duration() const { return m_duration; }  // minutes
    void setDuration(qint64 minutes) { m_duration = minutes; }

private:
    qint64 m_duration = 0;
};

class PstTaskItem : public PstItem {
    Q_DECLARE_TR_FUNCTIONS(PstTaskItem)
public:
    PstItemKind kind() const override { return PstItemKind::Task; }
    QString iconPath() const override;
    std::shared_ptr<PstItem> clone() const override;
    QList<InfoSection> infoSections(const PstItemBody& body) const override;

    bool complete() const { return m_complete; }
    void setComplete(bool c) { m_complete = c; }
    // 0 not started, 1 in progress, 2 complete, 3 waiting on someone else, 4 deferred
    int32_t status() const { return m_status; }
    void setStatus(int32_t s) { m_status = s; }
    int32_t actualEffort() const { return m_actualEffort; }  // minutes
    void setActualEffort(int32_t m) { m_actualEffort = m; }
    int32_t estimatedEffort() const { return m_estimatedEffort; }  // minutes
    void setEstimatedEffort(int32_t m) { m_estimatedEffort = m; }
    int32_t percentComplete() const { return m_percentComplete; }  // 0..100
    void setPercentComplete(int32_t p) { m_percentComplete = p; }

    // Translated status text; empty for an unknown status.
    static QString statusText(int32_t status);
    // "2 days", "1 week", "3 hours"; empty when not whole hours.
    static QString effortText(int32_t minutes);

private:
    bool m_complete = false;
    int32_t m_status = 0;
    int32_t m_actualEffort = 0;
    int32_t m_estimatedEffort = 0;
    int32_t m_percentComplete = 0;
};

class PstNoteItem : public PstItem {
    Q_DECLARE_TR_FUNCTIONS(PstNoteItem)
public:
    PstItemKind kind() const override { return PstItemKind::Note; }
    QString iconPath() const override;
    qint64 sortTime() const override;  // "createDate"
    std::shared_ptr<PstItem> clone() const override;
    QList<InfoSection> infoSections(const PstItemBody& body) const override;  // the note's text
};
