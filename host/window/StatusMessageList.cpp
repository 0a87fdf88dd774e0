#include "host/window/StatusMessageList.h"

void StatusMessageList::remove(const QObject* owner)
{
    entries.removeIf([owner](const auto& entry) { return entry.first == owner; });
}

bool StatusMessageList::show(const QObject* owner, const QString& text)
{
    const QString before = shownText();
    const bool wasEmpty = entries.isEmpty();
    remove(owner);
    entries.append({owner, text});
    return wasEmpty || shownText() != before;
}

bool StatusMessageList::clear(const QObject* owner)
{
    const QString before = shownText();
    const bool wasEmpty = entries.isEmpty();
    remove(owner);
    return entries.isEmpty() != wasEmpty || shownText() != before;
}
