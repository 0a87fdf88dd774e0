#include "common/MultiLanguage.h"

#include <Corbelin/SupportFoundation.h>

#include <QCoreApplication>
#include <QTranslator>

namespace {

struct Language {
    int index;
    const char* code;
    int localizationCode;
};

constexpr Language kLanguages[] = {
    {1, "en", 0}, {2, "fr", 2}, {3, "pt", 6}, {4, "it", 4}, {5, "de", 3}, {6, "es", 5}, {7, "ja", 1},
};

const Language& languageFor(int index)
{
    for (const Language& l : kLanguages) {
        if (l.index == index)
            return l;
    }
    return kLanguages[0];
}

} // namespace

MultiLanguage* MultiLanguage::instance()
{
    static MultiLanguage* languages = new MultiLanguage;
    return languages;
}

MultiLanguage::MultiLanguage()
    : programTranslator(new QTranslator(this)), qtTranslator(new QTranslator(this))
{
    QCoreApplication::installTranslator(programTranslator);
    QCoreApplication::installTranslator(qtTranslator);
}

QString MultiLanguage::plural(const char* context, const char* sourceText, int n)
{
    const QString translated = QCoreApplication::translate(context, sourceText, nullptr, n);
    QString english = QString::fromUtf8(sourceText);
    english.replace(QLatin1String("%n"), QString::number(n));
    if (translated != english)
        return translated;
    return english.replace(QLatin1String("(s)"), n == 1 ? QString() : QStringLiteral("s"));
}

QString MultiLanguage::languageCode(int index) { return QString::fromLatin1(languageFor(index).code); }

int MultiLanguage::localizationCode(int index) { return languageFor(index).localizationCode; }

void MultiLanguage::setLanguage(int index)
{
    const QString code = languageCode(index);
    // load() discards the previous translation first, so a file that cannot
    // be loaded leaves its translator empty.
    (void)programTranslator->load(QStringLiteral(":/translations/language/Translation_%1.qm").arg(code));
    (void)qtTranslator->load(QStringLiteral(":/translations/language/qt_%1.qm").arg(code));
    emit languageChanged();
    if (auto mgr = Corbelin::ILocalizationMgr::SharedLocalizationMgr())
        mgr->SetLanguage(localizationCode(index));
}
