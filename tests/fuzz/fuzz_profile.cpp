// A commissioning profile file as an operator or a colleague wrote it. Whatever the text, the loader either
// gives a profile or one refusal naming the file; a profile it gives holds only values a form accepts, a name
// without controls, and never a key that the text holds twice in one object.

#include "commissioningprofile.h"
#include "fuzzsupport.h"
#include "operatortext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QString kName = QStringLiteral("fuzz.json");

// True when any object of the document holds a key twice: the raw text holds more members than the reader kept.
int members(const QJsonValue &value)
{
    int count = 0;
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        count += object.size();
        for (auto it = object.begin(); it != object.end(); ++it)
            count += members(it.value());
    } else if (value.isArray()) {
        for (const QJsonValue &item : value.toArray())
            count += members(item);
    }
    return count;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = FuzzSupport::bytes(data, size);
    QString error;
    const std::optional<CommissioningProfile> profile = CommissioningProfile::fromJson(text, kName, &error);
    if (!profile) {
        FUZZ_CHECK(error.startsWith(kName + QStringLiteral(": ")));
        FUZZ_CHECK(error.size() > kName.size() + 2);
        return 0;
    }
    FUZZ_CHECK(profile->filePath() == kName);
    FUZZ_CHECK(!profile->name().isEmpty());
    FUZZ_CHECK(OperatorText::cleaned(profile->name()) == profile->name());

    int entries = 0;
    for (int type = Node::Pellimar; type <= Node::SigFox5D; ++type) {
        const ProfileEntry *entry = profile->entryFor(type);
        if (!entry)
            continue;
        ++entries;
        FUZZ_CHECK(entry->firmwareType == type);
        FUZZ_CHECK(!entry->appId || FuzzSupport::isUpperHex(*entry->appId, 16, 16));
        FUZZ_CHECK(!entry->netId || FuzzSupport::isUpperHex(*entry->netId, 8, 8));
        FUZZ_CHECK(entry->labelProfileId.isEmpty() || FuzzSupport::isUpperHex(entry->labelProfileId, 8, 8));
        FUZZ_CHECK(!entry->reportRate || *entry->reportRate >= 0);
        for (const auto &range : {entry->temperature, entry->humidity, entry->pressure})
            FUZZ_CHECK(!range || range->low <= range->high);
    }
    FUZZ_CHECK(entries > 0);
    // Loaded means no key was given twice: each member of the text is one the reader kept. The text without a
    // byte order mark is what the loader parsed.
    QByteArray json = text;
    if (json.startsWith("\xEF\xBB\xBF"))
        json.remove(0, 3);
    const QJsonDocument document = QJsonDocument::fromJson(json);
    FUZZ_CHECK(document.isObject());
    int colons = 0;
    // Every member is one colon outside strings.
    bool inString = false;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == ':') {
            ++colons;
        }
    }
    FUZZ_CHECK(colons == members(document.object()));
    return 0;
}
