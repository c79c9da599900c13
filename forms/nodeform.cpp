#include "nodeform.h"

#include "formloraotaa.h"
#include "formloraotaa5d.h"
#include "formpellimar.h"
#include "formpellimar5d.h"
#include "formsigfox.h"
#include "formsigfox5d.h"
#include "reportratevalidator.h"

#include <QDoubleValidator>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <cstddef>
#include <limits>

namespace {

// Hex identifiers the LoRa-style forms edit. The input masks show separators between the digit pairs; they are
// no part of the value.
struct IdentifierField
{
    const char *editName;
    QString Node::*value;
    QChar separator;
    int digits;
    Node::UpdateFlag flag;
    // A network id is always checked; the application id and key only when they were edited, so a node whose
    // identifier could not be read can still have its thresholds written.
    bool checkedWhenUnedited;
    const char *incompleteTitle;
    const char *incompleteText;
};

const IdentifierField kIdentifierFields[] = {
    {"appIDEdit", &Node::appId, QLatin1Char('-'), 16, Node::FlagAppId, false,
        QT_TRANSLATE_NOOP("NodeForm", "Application ID too short"),
        QT_TRANSLATE_NOOP("NodeForm", "Application ID must be 16 characters")},
    {"appKeyEdit", &Node::appKey, QLatin1Char(' '), 32, Node::FlagAppKey, false,
        QT_TRANSLATE_NOOP("NodeForm", "Application Key too short"),
        QT_TRANSLATE_NOOP("NodeForm", "Application Key must be 32 characters")},
    {"netIDEdit", &Node::netId, QChar(), 8, Node::FlagNetId, true,
        QT_TRANSLATE_NOOP("NodeForm", "Network ID too short"),
        QT_TRANSLATE_NOOP("NodeForm", "Network ID must be 8 characters")},
};

// Threshold edits. The node keeps pressure and acceleration in hundredths of the unit the operator sees.
struct ThresholdField
{
    const char *editName;
    float NodeThresholds::*value;
    bool hundredths;
    Node::UpdateFlag flag;
};

const ThresholdField kThresholdFields[] = {
    {"tempHighEdit", &NodeThresholds::temperatureHigh, false, Node::FlagTemperature},
    {"tempLowEdit", &NodeThresholds::temperatureLow, false, Node::FlagTemperature},
    {"humidityHighEdit", &NodeThresholds::humidityHigh, false, Node::FlagHumidity},
    {"humidityLowEdit", &NodeThresholds::humidityLow, false, Node::FlagHumidity},
    {"pressureHighEdit", &NodeThresholds::pressureHigh, true, Node::FlagPressure},
    {"pressureLowEdit", &NodeThresholds::pressureLow, true, Node::FlagPressure},
    {"accHighEdit", &NodeThresholds::accelX, true, Node::FlagAccelerometer},
};

const char kLockDescriptionEdit[] = "lockDescriptionEdit";
const char kReportRateEdit[] = "reportRateEdit";

// Widgets hidden while a write is under way.
const char *const kHiddenWhileApplying[] = {"thersholdBox", "reportID", "reportRateEdit", "reportUnit"};

// Six significant digits keep every value the node can hold (whole hundredths up to 65000) intact on a round
// trip through the form: 1234 shows as 12.34 and goes back as 12.34.
constexpr int kShownDigits = 6;
constexpr float kHundredths = 100.0f;

// Validators by position in a form's edit list: the first two edits take any text, the next four whole numbers,
// the rest numbers with two decimals.
constexpr int kFirstWholeNumberPosition = 2;
constexpr int kFirstDecimalPosition = 6;
constexpr int kThresholdLimit = 100;
constexpr double kDecimalLimit = 100.0;
constexpr int kDecimals = 2;

template <typename Field, std::size_t count>
const Field *fieldNamed(const Field (&fields)[count], const QString &editName)
{
    for (const Field &field : fields) {
        if (editName == QLatin1String(field.editName))
            return &field;
    }
    return nullptr;
}

int flagOf(const QString &editName)
{
    if (const IdentifierField *field = fieldNamed(kIdentifierFields, editName))
        return field->flag;
    if (const ThresholdField *field = fieldNamed(kThresholdFields, editName))
        return field->flag;
    if (editName == QLatin1String(kReportRateEdit))
        return Node::FlagReportRate;
    return 0;
}

bool isHexDigits(const QString &text)
{
    for (const QChar c : text) {
        const char latin = c.toLatin1();
        if (!(latin >= '0' && latin <= '9') && !(latin >= 'A' && latin <= 'F') && !(latin >= 'a' && latin <= 'f'))
            return false;
    }
    return true;
}

template <class Form> NodeForm *makeForm(const Node &node, QWidget *parent)
{
    return new Form(node, parent);
}

} // namespace

NodeForm *NodeForm::create(const Node &node, QWidget *parent)
{
    using Factory = NodeForm *(*)(const Node &, QWidget *);
    // Indexed by firmware type; the unknown type (0) has no form.
    static const Factory factories[] = {nullptr, makeForm<FormPellimar>, makeForm<FormLoRaOTAA>, makeForm<FormSigFox>,
        makeForm<FormPellimar5d>, makeForm<FormLoRaOTAA5d>, makeForm<FormSigFox5d>};
    if (!Node::isKnownType(node.firmwareType))
        return nullptr;
    return factories[node.firmwareType](node, parent);
}

NodeForm::NodeForm(const Node &node, QWidget *parent)
    : QWidget(parent, Qt::WindowFlags())
    , node(node)
    , flags(0)
{
}

void NodeForm::setUpForm(const QList<QLineEdit *> &editList, IntRange intRange)
{
    widget<QGroupBox>("thersholdBox")->hide();
    widget<QProgressBar>("progressBar")->hide();
    editedPalette.setBrush(QPalette::Text, QBrush(Qt::blue));

    edits = editList;
    for (int position = 0; position < edits.size(); ++position) {
        if (QValidator *validator = validatorFor(edits.at(position), position, intRange))
            edits.at(position)->setValidator(validator);
    }

    connect(widget<QPushButton>("applyButton"), &QPushButton::clicked, this, &NodeForm::applyUpdates);
    // Enter in a field presses Apply, as long as there is something to apply. Not in the lock description: the
    // focus lands there after a label scan, and a scanner ends every scan with Enter, so a second scan would
    // write the node with the scanned text as its description.
    for (QLineEdit *edit : qAsConst(edits)) {
        if (edit->objectName() == QLatin1String("lockDescriptionEdit"))
            continue;
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            if (widget<QPushButton>("applyButton")->isEnabled())
                applyUpdates();
        });
    }
    fillFromNode();
}

void NodeForm::preset(int presetFlags, int lockedFlags, const QMap<int, QString> &tooltips)
{
    for (QLineEdit *edit : qAsConst(edits)) {
        const int flag = flagOf(edit->objectName());
        if (flag == 0)
            continue;
        if (presetFlags & flag) {
            edit->setPalette(editedPalette);
            edit->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid #c07000; }"));
            edit->setToolTip(tooltips.value(flag));
        }
        if (lockedFlags & flag)
            edit->setReadOnly(true);
    }
    flags |= presetFlags & Node::FlagsWritable;
    if (flags)
        widget<QPushButton>("applyButton")->setEnabled(true);
}

// The position in the edit list decides the validator, except where that would make a value impossible that
// the node accepts: identifiers are hex, the report rate is whole minutes beyond 100, and pressure and
// acceleration need their two decimals wherever they stand in the list.
QValidator *NodeForm::validatorFor(QLineEdit *edit, int position, IntRange intRange) const
{
    const QString name = edit->objectName();
    // The identifier masks admit exactly the hex digits the node takes.
    if (fieldNamed(kIdentifierFields, name))
        return nullptr;
    if (name == QLatin1String(kReportRateEdit))
        return new ReportRateValidator(edit);
    if (position < kFirstWholeNumberPosition)
        return nullptr;

    const ThresholdField *threshold = fieldNamed(kThresholdFields, name);
    const bool needsDecimals = threshold && threshold->hundredths;
    if (position < kFirstDecimalPosition && !needsDecimals) {
        if (intRange == IntRange::Full)
            return new QIntValidator(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), edit);
        return new QIntValidator(-kThresholdLimit, kThresholdLimit, edit);
    }

    // A fixed C locale, so a decimal point is the only separator whatever the operator's locale.
    auto *validator = new QDoubleValidator(-kDecimalLimit, kDecimalLimit, kDecimals, edit);
    QLocale locale(QLocale::C, QLocale::AnyCountry);
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    validator->setLocale(locale);
    return validator;
}

void NodeForm::fillFromNode()
{
    widget<QGroupBox>("nodeBox")->setEnabled(true);

    if (auto *label = widget<QLabel>("deviceIDLabel")) {
        QPalette palette = label->palette();
        palette.setBrush(label->foregroundRole(), QBrush(Qt::black));
        label->setPalette(palette);
        label->setText(node.euid);
    }
    for (const IdentifierField &field : kIdentifierFields) {
        if (auto *edit = widget<QLineEdit>(field.editName))
            edit->setText(node.*field.value);
    }
    if (auto *label = widget<QLabel>("IDResultLabel"))
        label->setText(node.euid);
    if (auto *label = widget<QLabel>("PACResultLabel"))
        label->setText(node.pac);

    for (const ThresholdField &field : kThresholdFields) {
        auto *edit = widget<QLineEdit>(field.editName);
        if (!edit)
            continue;
        const float value = node.thresholds.*field.value;
        edit->setText(QString::number(field.hundredths ? value / kHundredths : value, 'g', kShownDigits));
    }
    widget<QLineEdit>(kReportRateEdit)->setText(QString::number(node.reportRate, 10));
    widget<QGroupBox>("thersholdBox")->show();
    // A description typed for this node before its reset comes back with it.
    if (auto *edit = widget<QLineEdit>(kLockDescriptionEdit))
        edit->setText(node.lockDescription);
    lockDescriptionText = node.lockDescription;

    // Connected only now that the texts are in place, so filling the form marks nothing.
    for (QLineEdit *edit : qAsConst(edits)) {
        edit->setEnabled(true);
        connect(edit, &QLineEdit::textChanged, this, &NodeForm::textEdit);
    }
    flags = 0;
}

void NodeForm::textEdit()
{
    auto *edit = qobject_cast<QLineEdit *>(sender());
    if (!edit)
        return;
    edit->setPalette(editedPalette);
    widget<QPushButton>("applyButton")->setEnabled(true);
    listedEditChanged();

    const QString name = edit->objectName();
    if (name == QLatin1String(kLockDescriptionEdit))
        lockDescriptionText = edit->text();
    flags |= flagOf(name);
}

void NodeForm::applyUpdates()
{
    if (flags == 0)
        return;
    widget<QPushButton>("applyButton")->setEnabled(false);

    node.lockDescription = widget<QLineEdit>(kLockDescriptionEdit)->text();
    for (const IdentifierField &field : kIdentifierFields) {
        if (auto *edit = widget<QLineEdit>(field.editName)) {
            QString value = edit->text();
            if (!field.separator.isNull())
                value.remove(field.separator);
            node.*field.value = value;
        }
    }
    // Shows its message and leaves the flags as they are; the next edit enables Apply again.
    if (!identifiersComplete())
        return;

    for (const ThresholdField &field : kThresholdFields) {
        if (auto *edit = widget<QLineEdit>(field.editName))
            node.thresholds.*field.value = edit->text().toFloat();
    }
    node.reportRate = widget<QLineEdit>(kReportRateEdit)->text().toInt(nullptr, 10);

    enterApplyingState();
    emit updateNode(node, flags);
    flags = 0;
}

// An identifier the node is sent must be complete: the protected encoding would fill the missing digits with
// zeros and the node could never join its network.
bool NodeForm::identifiersComplete() const
{
    for (const IdentifierField &field : kIdentifierFields) {
        if (!widget<QLineEdit>(field.editName))
            continue;
        if (!field.checkedWhenUnedited && !(flags & field.flag))
            continue;
        const QString &value = node.*field.value;
        if (value.size() == field.digits && isHexDigits(value))
            continue;
        qInfo("%s: apply refused, %s", metaObject()->className(), field.incompleteTitle);
        // Shown without a loop of its own; nothing depends on when the operator closes it.
        auto *box = new QMessageBox(
            QMessageBox::Information, tr(field.incompleteTitle), tr(field.incompleteText), QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::ApplicationModal);
        box->open();
        return false;
    }
    return true;
}

void NodeForm::enterApplyingState()
{
    widget<QGroupBox>("nodeBox")->setEnabled(false);
    for (const char *name : kHiddenWhileApplying) {
        if (auto *hidden = widget<QWidget>(name))
            hidden->hide();
    }
    widget<QProgressBar>("progressBar")->show();
}
