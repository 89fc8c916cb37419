#pragma once

#include "config/conf_file.h"
#include "config/list_format.h"

#include <map>
#include <string>
#include <vector>

// An entry of a list file: a name and one second text (a destination's URL, a key pair's file).
class CListEntry {
public:
    CListEntry() = default;
    CListEntry(std::string name, std::string secondText)
        : m_pszName(std::move(name)), m_pszSecondText(std::move(secondText))
    {
    }
    virtual ~CListEntry() = default;
    CListEntry(const CListEntry&) = default;
    CListEntry& operator=(const CListEntry&) = default;

    const std::string& GetName() const { return m_pszName; }
    void SetName(std::string name) { m_pszName = std::move(name); }
    const std::string& GetSecondText() const { return m_pszSecondText; }
    void SetSecondText(std::string text) { m_pszSecondText = std::move(text); }

private:
    std::string m_pszName;
    std::string m_pszSecondText;
};

// A configuration file holding a numbered list of entries in the user's order (layout in
// list_format.h). TEntry derives from CListEntry and names its second key in kSecondKey.
//
// Loading is forgiving: unknown lines are skipped, and a count announcing more entries than the
// file holds is mended at once by rewriting the file with the entries found. InsertAt, SetAt and
// RemoveAt save the file and return the save's result; the list in memory keeps the change either
// way.
template <class TEntry> class CListConfFile : public CConfFile {
public:
    using CConfFile::CConfFile;

    int GetCount() const { return static_cast<int>(m_items.size()); }
    // The entry at index, or null when there is none.
    const TEntry* GetAt(int index) const
    {
        return IsValidIndex(index) ? &m_items[static_cast<std::size_t>(index)] : nullptr;
    }

    // Inserts entry before index; an index out of range appends it.
    [[nodiscard]] bool InsertAt(int index, TEntry entry)
    {
        if (!IsValidIndex(index))
            index = GetCount();
        m_items.insert(m_items.begin() + index, std::move(entry));
        return Save();
    }

    // Replaces the entry at index; false for an index out of range, true without saving when
    // nothing changes.
    [[nodiscard]] bool SetAt(int index, TEntry entry)
    {
        if (!IsValidIndex(index))
            return false;
        if (IsSameAt(index, entry))
            return true;
        m_items[static_cast<std::size_t>(index)] = std::move(entry);
        return Save();
    }

    [[nodiscard]] virtual bool RemoveAt(int index)
    {
        if (!IsValidIndex(index))
            return false;
        m_items.erase(m_items.begin() + index);
        return Save();
    }

    // Swaps two entries in memory only; the caller saves.
    void Exchange(int first, int second)
    {
        if (IsValidIndex(first) && IsValidIndex(second))
            std::swap(m_items[static_cast<std::size_t>(first)],
                      m_items[static_cast<std::size_t>(second)]);
    }

    bool IsSameAt(int index, const TEntry& entry) const
    {
        const TEntry* current = GetAt(index);
        return current && current->GetName() == entry.GetName() &&
               current->GetSecondText() == entry.GetSecondText();
    }

    // True when an entry other than the one at exceptIndex (-1: none) has entry's name; the
    // comparison is exact and case-sensitive.
    bool IsNameUsed(const TEntry& entry, int exceptIndex) const
    {
        return AnyOtherEntry(
            exceptIndex, [&](const TEntry& other) { return other.GetName() == entry.GetName(); });
    }

    [[nodiscard]] bool Save() override
    {
        std::string text;
        bool written = WriteKeyValue(text, kTotalKey, std::to_string(GetCount()));
        for (int i = 0; written && i < GetCount(); ++i) {
            text.append(FormatIndexLine(i)).append("\r\n");
            written = WriteKeyValue(text, kNameKey, GetAt(i)->GetName()) &&
                      WriteKeyValue(text, TEntry::kSecondKey, GetAt(i)->GetSecondText());
        }
        return written && WriteFile(text);
    }

protected:
    bool IsValidIndex(int index) const { return index >= 0 && index < GetCount(); }

    // True when some entry other than the one at exceptIndex satisfies matches.
    template <class Predicate> bool AnyOtherEntry(int exceptIndex, Predicate matches) const
    {
        for (int i = 0; i < GetCount(); ++i) {
            if (i != exceptIndex && matches(m_items[static_cast<std::size_t>(i)]))
                return true;
        }
        return false;
    }

    void BeginLoad() override
    {
        m_items.clear();
        m_loaded.clear();
        m_nCount = 0;
        m_nCurrent = -1;
    }

    bool ParseLine(std::string_view line) override
    {
        if (line.size() < 2)
            return true;
        if (IsBracketedLine(line)) {
            std::optional<long long> index = ParseIndexLine(line);
            if (!index)
                return true;
            m_nCurrent = *index;
            return m_nCurrent < m_nCount;
        }
        if (HasKey(line, kTotalKey)) {
            // A second count after a positive one ends the reading.
            if (m_nCount != 0)
                return false;
            m_nCount = std::max(ParseListCount(line.substr(kTotalKey.size())), 0LL);
            return true;
        }
        // Value lines before any valid index line have no entry to fill and are skipped.
        if (m_nCurrent < 0)
            return true;
        if (HasKey(line, kNameKey))
            m_loaded[m_nCurrent].SetName(std::string(line.substr(kNameKey.size())));
        else if (HasKey(line, TEntry::kSecondKey))
            m_loaded[m_nCurrent].SetSecondText(std::string(line.substr(TEntry::kSecondKey.size())));
        return true;
    }

    // Keeps the entries found in index order; when the count announced more, the file is
    // rewritten with what was found (unless it is read-only), and the load's result is that
    // save's.
    bool EndLoad() override
    {
        m_nCurrent = -1;
        for (auto& [index, entry] : m_loaded)
            m_items.push_back(std::move(entry));
        m_loaded.clear();
        const bool complete = GetCount() == m_nCount;
        m_nCount = 0;
        return complete || IsReadOnly() || Save();
    }

private:
    std::vector<TEntry> m_items;

    // While loading: the count announced, the index that value lines fill (-1: none) and the
    // entries found so far by index. A count is never allocated up front, so a hostile
    // "TOTAL=2000000000" costs nothing.
    long long m_nCount = 0;
    long long m_nCurrent = -1;
    std::map<long long, TEntry> m_loaded;
};
