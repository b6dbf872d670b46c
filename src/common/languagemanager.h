#pragma once

#include <QObject>
#include <QString>
#include <QTranslator>

#include <memory>

// The interface-language lookup. Every user-visible text is written in Chinese and is its own key;
// `localized()` returns the override table's translation when one is loaded, else the text itself.
// Callers look a template up first and fill its placeholders afterwards.
QString localized(const QString& text);
QString localized(const char* utf8Text);

// The table's entries live under one context, `tableContext`: a text is its own key wherever it
// is shown, whether C++ looks it up or a view does through Qt's lookup (which passes the view's
// file name as the context).
inline constexpr const char* tableContext = "Zorvane";

// Owner of the optional override table. Nothing in the product loads a table; the lookup exists at
// every text site so a translation can be dropped in without touching them.
class LanguageManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString current READ current NOTIFY currentChanged)

public:
    static constexpr const char* selectedLanguageKey = "AppSelectedLanguage";

    // The process-wide instance; creating it forgets any stored language choice.
    static LanguageManager& shared();

    QString current() const { return m_current; }

    // The loaded table, or null. Read from any thread.
    static QTranslator* overrideTable();

    // Installs `table` (or none) as the override table and records `languageCode`; when an
    // application object exists the table is also installed application-wide so Qt's own
    // texts follow the same rule. Used by tests; the product never loads a table.
    void setOverrideTable(QTranslator* table, const QString& languageCode = {});

signals:
    void currentChanged();

private:
    LanguageManager();
    QString m_current;
    // Installed application-wide in place of the table: answers Qt's lookups from the table
    // whatever context they name.
    std::unique_ptr<QTranslator> m_anyContext;
};
