// Tests of the four-language text table and the signal-name tables filled at start-up.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include "globals.h"
#include "lanstr.h"
#include "testsupport.h"

namespace {

constexpr int kZh = 0;
constexpr int kEn = 1;
constexpr int kTw = 2;
constexpr int kJa = 3;
constexpr int kLastDefinedEntry = 730;

const QString& cell(int entry, int lan)
{
    return gaLanStr[entry * kLanColumns + lan];
}

// Entry number -> text of one input file of the generator.
QMap<int, QString> readInput(const QString& fileName)
{
    const QString path = QFINDTESTDATA("../../tools/texts/" + fileName);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read generator input %s", qPrintable(fileName));
    const QJsonObject obj = QJsonDocument::fromJson(f.readAll()).object();
    QMap<int, QString> texts;
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        const QJsonValue v = it.value();
        texts.insert(it.key().toInt(), v.isObject() ? v.toObject().value("en").toString() : v.toString());
    }
    return texts;
}

QSet<QString> placeholders(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("%\\d"));
    QSet<QString> found;
    auto it = re.globalMatch(text);
    while (it.hasNext()) found.insert(it.next().captured());
    return found;
}

}  // namespace

class TestTexts : public QObject
{
    Q_OBJECT

    QMap<int, QString> english;      // English column as the generator reads it, fixes applied
    QMap<int, QString> chineseOnly;  // entries with only a Simplified Chinese text

    // Cells declared empty although their entry has text in other languages.
    static bool declaredEmpty(int entry, int lan)
    {
        static const QSet<int> jaEmpty = {557, 621, 622, 623};
        return lan == kJa && jaEmpty.contains(entry);
    }

private slots:
    void initTestCase()
    {
        InitLanStr();
        english = readInput("en.json");
        const QMap<int, QString> fixes = readInput("fixes.json");
        for (auto it = fixes.begin(); it != fixes.end(); ++it) english[it.key()] = it.value();
        chineseOnly = readInput("zh_only.json");
        QCOMPARE(english.size() + chineseOnly.size(), 674);
    }

    void englishColumnEqualsGeneratorInput()
    {
        for (int n = 0; n < kLanEntries; ++n) {
            if (cell(n, kEn) != english.value(n))
                QFAIL(qPrintable(
                    QString("entry %1 English: \"%2\" expected \"%3\"").arg(n).arg(cell(n, kEn), english.value(n))));
        }
    }

    void chineseOnlyEntriesHaveNoEnglish()
    {
        QCOMPARE(chineseOnly.keys(), QList<int>({549, 552, 553, 555, 557, 561}));
        for (auto it = chineseOnly.begin(); it != chineseOnly.end(); ++it) {
            QCOMPARE(cell(it.key(), kZh), it.value());
            QVERIFY(cell(it.key(), kEn).isEmpty());
        }
    }

    void everyDefinedEntryIsTranslated()
    {
        QStringList missing;
        for (int n = 0; n <= kLastDefinedEntry; ++n) {
            if (!english.contains(n) && !chineseOnly.contains(n))
                continue;
            for (int lan : {kZh, kTw, kJa}) {
                const bool empty = cell(n, lan).isEmpty();
                if (empty != declaredEmpty(n, lan))
                    missing << QString("%1/%2%3").arg(n).arg(lan).arg(empty ? " empty" : " not empty");
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
    }

    void undefinedEntriesStayEmpty()
    {
        QList<int> undefined = {153, 321, 322, 578, 648};
        for (int n = 530; n <= 539; ++n) undefined << n;
        for (int n = 632; n <= 639; ++n) undefined << n;
        for (int n = 725; n <= 729; ++n) undefined << n;
        for (int n = kLastDefinedEntry + 1; n < kLanEntries; ++n) undefined << n;
        for (int n : undefined)
            for (int lan = 0; lan < kLanColumns; ++lan)
                QVERIFY2(cell(n, lan).isEmpty(), qPrintable(QString("entry %1 language %2").arg(n).arg(lan)));
    }

    void placeholdersMatchTheEnglishText()
    {
        QStringList wrong;
        for (int n = 0; n <= kLastDefinedEntry; ++n) {
            const QString& source = cell(n, kEn).isEmpty() ? cell(n, kZh) : cell(n, kEn);
            for (int lan = 0; lan < kLanColumns; ++lan) {
                if (!cell(n, lan).isEmpty() && placeholders(cell(n, lan)) != placeholders(source))
                    wrong << QString("%1/%2 \"%3\"").arg(n).arg(lan).arg(cell(n, lan));
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(", ")));
    }

    void knownCells()
    {
        QCOMPARE(gaLanStr[43 * 4 + 1], QString("Camera %1"));
        QVERIFY(cell(1, kEn).contains("\r\n"));
        QCOMPARE(gaLanStr[557 * 4 + 2], QString::fromUtf8("參數組:"));
        QCOMPARE(cell(557, kZh), QString::fromUtf8("产品名称:"));
        QCOMPARE(cell(151, kZh), QString::fromUtf8("%1号相机、"));
        QCOMPARE(cell(152, kZh), QString::fromUtf8(" 报警"));
        QCOMPARE(QStringList({cell(317, kZh), cell(317, kEn), cell(317, kTw), cell(317, kJa)}),
                 QStringList({QString::fromUtf8("简体中文"), "English", QString::fromUtf8("繁體中文"),
                              QString::fromUtf8("日文")}));
        // Texts kept exactly as the panel shows them, blanks and odd spellings included.
        QCOMPARE(cell(204, kEn), QString("  Break"));
        QCOMPARE(cell(527, kEn), QString::fromUtf8("Are you sure you want to \r\n re年store the default settings"));
        QCOMPARE(cell(296, kEn), QString("Please click on \"OK\" to exit!"));
    }

    void restoredGroupNameReachesTheRecord()
    {
        for (int lan = 0; lan < kLanColumns; ++lan) {
            const QString text = cell(286, lan).arg("shiftB");
            QVERIFY2(text.contains("shiftB"), qPrintable(text));
            QVERIFY(!text.contains("1%"));
        }
    }

    void fillIsRepeatable()
    {
        gaLanStr[5 * 4 + kJa] = "changed";
        InitLanStr();
        QCOMPARE(cell(5, kEn), QString("Move U"));
        QVERIFY(cell(5, kJa) != "changed");
        QVERIFY(cell(kLastDefinedEntry + 1, kEn).isEmpty());
    }

    void signalNamesRepeatEnglishInJapanese()
    {
        constexpr int inRows = int(sizeof(gInName) / sizeof(gInName[0]));
        constexpr int outRows = int(sizeof(gOutName) / sizeof(gOutName[0]));
        QCOMPARE(inRows, 16);
        QCOMPARE(outRows, 14);
        for (int r = 0; r < inRows; ++r) {
            for (int lan = 0; lan < kLanColumns; ++lan) QVERIFY(gInName[r][lan] && *gInName[r][lan]);
            QCOMPARE(QString(gInName[r][kJa]), QString(gInName[r][kEn]));
        }
        for (int r = 0; r < outRows; ++r) {
            for (int lan = 0; lan < kLanColumns; ++lan) QVERIFY(gOutName[r][lan] && *gOutName[r][lan]);
            QCOMPARE(QString(gOutName[r][kJa]), QString(gOutName[r][kEn]));
        }
        QCOMPARE(QString::fromUtf8(gInName[0][kZh]), QString::fromUtf8("开模到位"));
        QCOMPARE(QString::fromUtf8(gInName[15][kTw]), QString::fromUtf8("中子C退"));
        QCOMPARE(QString::fromUtf8(gOutName[0][kEn]), QString("Al clam"));
        QCOMPARE(QString::fromUtf8(gOutName[13][kTw]), QString::fromUtf8("機手動作"));
    }
};

MONITOR_TEST_MAIN(TestTexts)
#include "tst_texts.moc"
