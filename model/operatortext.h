#pragma once

#include <QString>

// Text typed by an operator or read from a node that ends up on screen, in the journal or in an export: lots,
// lock descriptions, label fields, profile names, node banners. Controls could break a journal line or drive a
// terminal showing it; bidirectional formatting characters reorder what is shown, so "Lot 7<RLO>A" could read
// as another lot. Both are taken out.
class OperatorText
{
public:
    // Right-to-left and left-to-right marks, embeddings, overrides and isolates.
    static bool isBidiFormatting(ushort u)
    {
        return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E)
            || (u >= 0x2066 && u <= 0x2069);
    }
    // C0 and C1 controls and DEL.
    static bool isControl(ushort u) { return u < 0x20 || (u >= 0x7F && u <= 0x9F); }
    static bool needsCleaning(ushort u) { return isControl(u) || isBidiFormatting(u); }

    // The text without controls and bidirectional formatting characters; a tab or a line break becomes a
    // blank so that words stay apart. The ends are trimmed.
    static QString cleaned(const QString &text);
};
