#pragma once

#include "node.h"
#include "profileentry.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

// A commissioning profile: the settings a batch of nodes is to be given, per node type, read from a UTF-8 JSON
// file. Every value is checked at load against what the type's node form accepts, so a profile can only ask
// for values an operator could have typed; a profile with any fault is refused as a whole.
class CommissioningProfile
{
public:
    // The one format this reader understands; the file's "format" must equal it.
    static constexpr int kFormat = 1;
    // Far above any real profile; a larger file is refused unread.
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

    // The profile in `path`, or nothing with `*error` set to one line that names the file and, where there is
    // one, the type and the key at fault: `harbour.json: "LoRa OTAA" / "temperature": high -20 is below low 50`.
    // Only a regular file is read (a FIFO or a device is refused unread), and a key given twice in one object
    // refuses the profile, naming the key.
    static std::optional<CommissioningProfile> load(const QString &path, QString *error);
    // The same for the text of a profile file; `path` names it in the messages and in filePath().
    static std::optional<CommissioningProfile> fromJson(const QByteArray &text, const QString &path, QString *error);

    QString name() const { return m_name; }
    // The operator may not change the values the profile sets.
    bool locked() const { return m_locked; }
    // A lock description (label) must be typed before the node is written.
    bool requireLabel() const { return m_requireLabel; }
    // What a station does by itself with a node it read; everything off unless the profile's "auto" says so.
    struct Automation
    {
        enum class Print { Never, OnPass };
        bool apply = false; // compare, write and verify without Apply
        bool registerNode = false; // register once verified (and the label matches, when required)
        bool activate = false; // put to sleep once registered or kept in the outbox
        Print printLabel = Print::Never;
        bool any() const { return apply || registerNode || activate || printLabel != Print::Never; }
    };
    Automation automation() const { return m_automation; }
    QString filePath() const { return m_filePath; }
    // The SHA-256 of the file's bytes as read, in lower-case hex: which version of a profile a unit was
    // commissioned with, even when its name stayed the same.
    QString sha256() const { return m_sha256; }

    // The entry for a node's "Communication:" text ("LoRa OTAA 5D") or firmware type; nullptr when the profile
    // says nothing about that type.
    const ProfileEntry *entryFor(const QString &communicationText) const;
    const ProfileEntry *entryFor(int firmwareType) const;
    // The entry for the node's type, as entryFor(node.firmwareType).
    const ProfileEntry *entryFor(const Node &node) const { return entryFor(int(node.firmwareType)); }

private:
    CommissioningProfile() = default;

    QString m_name;
    bool m_locked = false;
    bool m_requireLabel = false;
    Automation m_automation;
    QString m_filePath;
    QString m_sha256;
    QMap<int, ProfileEntry> m_entries; // by firmware type
};
