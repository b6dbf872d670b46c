#include "scopedsettings.h"

#include "transport/transporterror.h"
#include "common/languagemanager.h"
#include "common/texttemplate.h"

#include <QCoreApplication>
#include <QHash>
#include <QSettings>
#include <QTest>
#include <QTranslator>

// A translation table in memory, as a compiled table would answer: only the keys it holds, and
// only under the product's context.
class TableTranslator : public QTranslator
{
public:
    explicit TableTranslator(QHash<QString, QString> table) : m_table(std::move(table)) {}
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* = nullptr, int = -1) const override
    {
        if (qstrcmp(context, tableContext) != 0)
            return {};
        return m_table.value(QString::fromUtf8(sourceText));
    }

private:
    QHash<QString, QString> m_table;
};

class LanguageManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A choice stored by an earlier run must be gone once the manager exists.
        QSettings().setValue(QString::fromLatin1(LanguageManager::selectedLanguageKey), QStringLiteral("en"));
        QSettings().sync();
        LanguageManager::shared();
        QVERIFY(!QSettings().contains(QString::fromLatin1(LanguageManager::selectedLanguageKey)));
        QCOMPARE(LanguageManager::shared().current(), QString());
        QCOMPARE(LanguageManager::overrideTable(), nullptr);
    }

    void cleanup() { LanguageManager::shared().setOverrideTable(nullptr); }

    void untranslatedTextComesBackUnchanged()
    {
        const QString text = QStringLiteral("连接手机失败（无响应）");
        QCOMPARE(localized(text), text);
        TableTranslator table({{QStringLiteral("别的"), QStringLiteral("other")}});
        LanguageManager::shared().setOverrideTable(&table, QStringLiteral("en"));
        QCOMPARE(localized(text), text);
        QCOMPARE(LanguageManager::shared().current(), QStringLiteral("en"));
    }

    void translatedTemplateIsFilledAfterLookup()
    {
        TableTranslator table({{QStringLiteral("%@失败（HTTP %ld）"), QStringLiteral("%@ failed (HTTP %ld)")},
                               {QStringLiteral("删除"), QStringLiteral("Delete")}});
        LanguageManager::shared().setOverrideTable(&table, QStringLiteral("en"));
        QCOMPARE(remoteOperationError(QStringLiteral("删除"), 204).description(),
                 QStringLiteral("Delete failed (HTTP 204)"));
    }

    void fixedErrorTextFollowsTheTableAtOnce()
    {
        const TransportError madeEarlier = TransportError::deviceNotConnected();
        QCOMPARE(madeEarlier.description(), QStringLiteral("未检测到已连接的手机"));
        TableTranslator table({{QStringLiteral("未检测到已连接的手机"), QStringLiteral("No phone connected")}});
        LanguageManager::shared().setOverrideTable(&table, QStringLiteral("en"));
        QCOMPARE(madeEarlier.description(), QStringLiteral("No phone connected"));
    }

    // The views look their texts up through Qt, each under its own file name.
    void qtLookupsGoThroughTheSameTable()
    {
        TableTranslator table({{QStringLiteral("传输任务"), QStringLiteral("Transfers")}});
        LanguageManager::shared().setOverrideTable(&table, QStringLiteral("en"));
        QCOMPARE(QCoreApplication::translate("TaskPanel", "传输任务"), QStringLiteral("Transfers"));
        LanguageManager::shared().setOverrideTable(nullptr);
        QCOMPARE(QCoreApplication::translate("TaskPanel", "传输任务"), QStringLiteral("传输任务"));
    }

    void templatesFillInOrder_data()
    {
        QTest::addColumn<QString>("templ");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text and integer") << QStringLiteral("%@失败（HTTP %ld）") << QVariantList{"复制", 500}
                                          << QStringLiteral("复制失败（HTTP 500）");
        QTest::newRow("long long") << QStringLiteral("已收 %lld / %lld") << QVariantList{qint64(1) << 40, 3}
                                   << QStringLiteral("已收 1099511627776 / 3");
        QTest::newRow("hex byte") << QStringLiteral("0x%02x") << QVariantList{10} << QStringLiteral("0x0a");
        QTest::newRow("percent") << QStringLiteral("%d%%") << QVariantList{46} << QStringLiteral("46%");
        QTest::newRow("missing argument") << QStringLiteral("a%@b") << QVariantList{} << QStringLiteral("ab");
    }

    void templatesFillInOrder()
    {
        QFETCH(QString, templ);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, expected);
        QString out;
        switch (arguments.size()) {
        case 0: out = fillTemplate(templ, {}); break;
        case 1: out = fillTemplate(templ, {arguments[0]}); break;
        default: out = fillTemplate(templ, {arguments[0], arguments[1]}); break;
        }
        QCOMPARE(out, expected);
    }

private:
    ScopedSettings m_settings;
};

QTEST_GUILESS_MAIN(LanguageManagerTest)
#include "tst_languagemanager.moc"
