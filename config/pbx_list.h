// Lists of PBX records. An entity owns a sub-tree (an extension its contacts,
// a group its members, a plan its rules), so deleting or renaming one here
// takes the whole sub-tree along; a record never lingers in a list only
// because some of its sub-records remained.
#pragma once

#include "config/settingslist.h"

// Whether the record exists: its file or its sub-record folder is there.
bool LPBXRecordExists(const LSettingsRecord &rec);

// Deletes the record's file, then everything under its sub-record folder.
// True when something was deleted.
bool LPBXDeleteRecordTree(const LSettingsRecord &rec);

// Moves the record's file and sub-record folder to newKey in the same list.
// Refused (false) when the record does not exist or newKey is taken or
// invalid. A change of case only is no move: keys are stored in lower case.
bool LPBXRenameRecord(const LSettingsRecord &list, const char *oldKey, const char *newKey);

template <class T> class LPBXListIteratorTemplate;

template <class T> class LPBXListTemplate : public LSettingsListTemplate<T>
{
  public:
    using LSettingsListTemplate<T>::LSettingsListTemplate;

    bool Exists(const char *key) const
    {
        T rec;
        return this->Open(rec, key) && LPBXRecordExists(rec);
    }
    bool Delete(const char *key) const
    {
        T rec;
        return this->Open(rec, key) && LPBXDeleteRecordTree(rec);
    }
    // Deletes the iterator's current record with its sub-tree and moves on.
    bool Delete(LPBXListIteratorTemplate<T> &it) const
    {
        if (!it)
            return false;
        bool deleted = LPBXDeleteRecordTree(*it);
        it.Next();
        return deleted;
    }
    bool Rename(const char *oldKey, const char *newKey) const
    {
        return LPBXRenameRecord(*this, oldKey, newKey);
    }
};

// Iterates a list, leaving out entries that cannot be opened by their own key
// (a hand-made file "ABC" is looked up as "abc"): listing them would show a
// record whose every field reads as its default, empty passwords included.
template <class T> class LPBXListIteratorTemplate : public LSettingsListIteratorTemplate<T>
{
    using Base = LSettingsListIteratorTemplate<T>;

  public:
    LPBXListIteratorTemplate(const char *section, const char *key) : Base(section, key)
    {
        SkipUnreachable();
    }
    LPBXListIteratorTemplate(const LSettingsRecord &parent, const char *key) : Base(parent, key)
    {
        SkipUnreachable();
    }
    explicit LPBXListIteratorTemplate(const LPBXListTemplate<T> &list) : Base(list)
    {
        SkipUnreachable();
    }
    void Next()
    {
        Base::Next();
        SkipUnreachable();
    }

  private:
    void SkipUnreachable()
    {
        while (*this && !LPBXRecordExists(**this))
            Base::Next();
    }
};
