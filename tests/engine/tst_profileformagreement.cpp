// A profile value is accepted exactly when the type's form would let the operator type it: each probe value is
// put to the real form's edit validators and to the profile loader, and both must agree.
#include "commissioningprofile.h"
#include "nodeform.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QValidator>

#include <memory>

namespace {

const double kProbes[] = {-1000, -150, -100.01, -100, -20, -0.05, 0, 0.5, 1.5, 12.34, 12.345, 99.99, 100, 100.5, 150};
// Every threshold edit takes these.
constexpr double kPartnerLow = -100;
constexpr double kPartnerHigh = 100;
const double kRateProbes[] = {-1, 0, 1, 1.5, 15, 35791, 35792};

// A setting of the profile and the edits of a form that hold it (the low one first for a pair).
struct Setting
{
    const char *key;
    const char *lowEdit;
    const char *highEdit; // nullptr for a single value
};

const Setting kSettings[] = {
    {"temperature", "tempLowEdit", "tempHighEdit"},
    {"humidity", "humidityLowEdit", "humidityHighEdit"},
    {"pressure", "pressureLowEdit", "pressureHighEdit"},
    {"accelerometer", "accHighEdit", nullptr},
};

bool editAccepts(const NodeForm &form, const char *editName, double value)
{
    const auto *edit = form.findChild<QLineEdit *>(QLatin1String(editName));
    if (!edit || !edit->isEnabled())
        return false;
    QString text = QString::number(value, 'g', 15);
    int position = text.size();
    return !edit->validator() || edit->validator()->validate(text, position) == QValidator::Acceptable;
}

} // namespace

class TestProfileFormAgreement : public QObject
{
    Q_OBJECT
private slots:
    void profileAcceptsWhatTheFormAccepts_data();
    void profileAcceptsWhatTheFormAccepts();

private:
    bool profileAccepts(const QString &type, const QByteArray &setting);
    QTemporaryDir m_dir;
};

bool TestProfileFormAgreement::profileAccepts(const QString &type, const QByteArray &setting)
{
    const QString path = m_dir.filePath(QStringLiteral("probe.json"));
    QFile file(path);
    const QByteArray json = "{\"format\": 1, \"types\": {\"" + type.toUtf8() + "\": {" + setting + "}}}";
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(json) != json.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    QString error;
    return CommissioningProfile::load(path, &error).has_value();
}

void TestProfileFormAgreement::profileAcceptsWhatTheFormAccepts_data()
{
    QTest::addColumn<int>("type");
    for (int type = Node::Pellimar; type <= Node::SigFox5D; ++type)
        QTest::newRow(qPrintable(Node::communicationText(type))) << type;
}

void TestProfileFormAgreement::profileAcceptsWhatTheFormAccepts()
{
    QFETCH(int, type);
    Node node;
    node.firmwareType = Node::eFirmwareType(type);
    const std::unique_ptr<NodeForm> form(NodeForm::create(node));
    QVERIFY(form);
    const QString typeText = Node::communicationText(type);

    // Each edit of a pair is probed on its own, its partner holding the end of the range every edit takes.
    int accepted = 0;
    const auto check = [&](const QByteArray &json, bool byForm) {
        const bool byProfile = profileAccepts(typeText, json);
        accepted += byForm;
        return byProfile == byForm;
    };
    for (const Setting &setting : kSettings) {
        const QByteArray key = '"' + QByteArray(setting.key) + "\": ";
        for (const double value : kProbes) {
            const QByteArray number = QByteArray::number(value, 'g', 15);
            if (!setting.highEdit) {
                const bool byForm = editAccepts(*form, setting.lowEdit, value);
                QVERIFY2(check(key + number, byForm), qPrintable(typeText + QLatin1Char(' ') + key + number));
                continue;
            }
            const bool lowByForm = editAccepts(*form, setting.lowEdit, value)
                && editAccepts(*form, setting.highEdit, kPartnerHigh) && value <= kPartnerHigh;
            const QByteArray lowJson = key + '[' + number + ", " + QByteArray::number(kPartnerHigh) + ']';
            QVERIFY2(check(lowJson, lowByForm), qPrintable(typeText + QLatin1Char(' ') + lowJson));
            const bool highByForm = editAccepts(*form, setting.highEdit, value)
                && editAccepts(*form, setting.lowEdit, kPartnerLow) && value >= kPartnerLow;
            const QByteArray highJson = key + '[' + QByteArray::number(kPartnerLow) + ", " + number + ']';
            QVERIFY2(check(highJson, highByForm), qPrintable(typeText + QLatin1Char(' ') + highJson));
        }
    }
    QVERIFY(accepted > 0); // the probes reach values each form takes

    for (const double minutes : kRateProbes) {
        const QByteArray json = "\"reportRate\": " + QByteArray::number(minutes, 'g', 15);
        const bool byForm = editAccepts(*form, "reportRateEdit", minutes);
        QVERIFY2(profileAccepts(typeText, json) == byForm, json.constData());
    }
}

QTEST_MAIN(TestProfileFormAgreement)
#include "tst_profileformagreement.moc"
