#pragma once

#include "node.h"
#include "profileentry.h"

#include <QList>
#include <QString>

// What a profile would change on a node as read: the record with the profile's values filled in, the update
// flags of exactly the settings that differ, and for each of them the two values for the operator to see.
// Settings are compared at the resolution that crosses the serial line, so a profile value that would be
// written as the node already holds it (25.7 against a node at 25) is no difference.
class ProfileComparison
{
public:
    struct Difference
    {
        int flag; // the setting's update flag
        QString field; // its name in a profile ("temperature")
        QString profileText; // "-10 to 50", "2.5 to 12.34", "15"
        QString nodeText;
    };

    // `asRead` is the record the link filled (pressure and accelX in the node's hundredths). The entry is the
    // one for the node's type; its settings are those the type's form has.
    ProfileComparison(const Node &asRead, const ProfileEntry &entry);

    // The record as a form emits it, ready for a write with flags(): pressure and accelX in operator units.
    Node nodeToWrite() const { return m_toWrite; }
    // The same values in the representation a form is built from (pressure and accelX in hundredths), for a
    // form that shows the profile's values.
    Node nodeToShow() const { return m_toShow; }
    int flags() const { return m_flags; }
    bool matches() const { return m_flags == 0; }
    QList<Difference> differences() const { return m_differences; }
    // The difference of one setting, or nullptr when it matches or the profile does not set it.
    const Difference *differenceFor(int flag) const;

private:
    Node m_toWrite;
    Node m_toShow;
    int m_flags = 0;
    QList<Difference> m_differences;
};
