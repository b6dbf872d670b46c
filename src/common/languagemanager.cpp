#include "languagemanager.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTranslator>

#include <atomic>

namespace {
// Written only while the table is installed (before views draw), read from any thread.
std::atomic<QTranslator*> g_overrideTable{nullptr};

class AnyContextLookup : public QTranslator
{
public:
    explicit AnyContextLookup(QTranslator* table) : m_table(table) {}
    bool isEmpty() const override { return m_table->isEmpty(); }
    QString translate(const char*, const char* sourceText, const char* disambiguation, int n) const override
    {
        return m_table->translate(tableContext, sourceText, disambiguation, n);
    }

private:
    QTranslator* m_table;
};
} // namespace

QString localized(const QString& text)
{
    QTranslator* table = g_overrideTable.load(std::memory_order_acquire);
    if (!table)
        return text;
    const QString answer = table->translate(tableContext, text.toUtf8().constData());
    return answer.isEmpty() ? text : answer;
}

QString localized(const char* utf8Text)
{
    return localized(QString::fromUtf8(utf8Text));
}

LanguageManager& LanguageManager::shared()
{
    static LanguageManager* instance = new LanguageManager;
    return *instance;
}

LanguageManager::LanguageManager()
{
    // Each launch starts in the source language: an earlier stored choice is dropped.
    QSettings().remove(QString::fromLatin1(selectedLanguageKey));
    m_current.clear();
    g_overrideTable.store(nullptr, std::memory_order_release);
}

QTranslator* LanguageManager::overrideTable()
{
    return g_overrideTable.load(std::memory_order_acquire);
}

void LanguageManager::setOverrideTable(QTranslator* table, const QString& languageCode)
{
    g_overrideTable.store(table, std::memory_order_release);
    if (m_anyContext && QCoreApplication::instance())
        QCoreApplication::removeTranslator(m_anyContext.get());
    m_anyContext.reset(table ? new AnyContextLookup(table) : nullptr);
    if (m_anyContext && QCoreApplication::instance())
        QCoreApplication::installTranslator(m_anyContext.get());
    if (m_current != languageCode) {
        m_current = languageCode;
        emit currentChanged();
    }
}
