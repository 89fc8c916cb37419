#pragma once

// The program's texts: every message, caption, menu entry, status line and file-type filter the
// windows show, by number. A "\n" in a text is a line break; "%s" in a question is replaced by a
// name (FormatString). Filters are pairs of a description and a pattern, each ended by '|', the
// whole ended by a second '|'.
struct SStringResource {
    int m_nId;
    const char* m_pszText;
};

inline constexpr int kFirstStringId = 101;
inline constexpr int kLastStringId = 147;

// Ids kFirstStringId to kLastStringId, in order, each once.
extern const SStringResource kStringTable[kLastStringId - kFirstStringId + 1];
