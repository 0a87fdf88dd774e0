#pragma once
// The program's two translators (its own texts and Qt's) and the switch of
// the user-interface language. The interface starts in English; nothing
// applies a stored language at start-up.

#include <QObject>

class QTranslator;

class MultiLanguage : public QObject {
    Q_OBJECT
public:
    // Created on first use; installs both (still empty) translators.
    static MultiLanguage* instance();

    // 2 fr, 3 pt, 4 it, 5 de, 6 es, 7 ja; 1 and any other value English.
    // The caller stores the index with AppConfig::setLanguage.
    void setLanguage(int index);

    static QString languageCode(int index);
    static int localizationCode(int index);

    // A translated text with a count: Qt's plural form ("%n") as a
    // translation gives it. Without one, the English source's "(s)" becomes
    // "" for one and "s" otherwise ("%n item(s)": "1 item", "2 items").
    // Mark the source with QT_TRANSLATE_N_NOOP(context, text).
    static QString plural(const char* context, const char* sourceText, int n);

signals:
    void languageChanged();

private:
    MultiLanguage();

    QTranslator* programTranslator = nullptr;
    QTranslator* qtTranslator = nullptr;
};
