// Lists of records: a list is itself a record, and its items are that
// record's sub-records. T is the entity type, derived from LSettingsRecord.
#pragma once

#include "config/settingsrecord.h"

#include <dirent.h>

// Walks the record keys of one list folder in directory order: every file
// whose name is a valid record key, and every sub-list folder "x_" for which
// no file "x" exists (a record that exists only through its sub-records).
class LSettingsFolderIterator
{
  public:
    LSettingsFolderIterator() = default;
    ~LSettingsFolderIterator() { Close(); }
    LSettingsFolderIterator(const LSettingsFolderIterator &) = delete;
    LSettingsFolderIterator &operator=(const LSettingsFolderIterator &) = delete;

    // Opens the sub-record folder of list and moves to the first key.
    bool Open(const LSettingsRecord &list);
    // The next key, or null at the end (the folder is then closed).
    const char *NextKey();
    void Close();

  private:
    DIR *dir = nullptr;
    char folder[LPathSize] = "";
    char key[LPathSize] = "";
};

template <class T> class LSettingsListIteratorTemplate;

template <class T> class LSettingsListTemplate : public LSettingsRecord
{
  public:
    LSettingsListTemplate(const char *section, const char *key) : LSettingsRecord(section, key) {}
    LSettingsListTemplate(const LSettingsRecord &parent, const char *key)
        : LSettingsRecord(parent, key)
    {
    }

    bool Open(T &rec, const char *key) const { return OpenSubRecord(key, rec); }
    // The file comes into being with the record's first written field.
    bool CreateNewRecord(T &rec, const char *key) const { return Open(rec, key); }
    // Numbered record: the lowest free number "1", "2", ... created
    // exclusively, so two writers never get the same one.
    bool CreateNewRecord(T &rec) const { return LSettingsCreateNumbered(*this, rec); }
    bool Delete(const char *key) const { return DeleteSubRecord(key); }
    // Deletes the iterator's current record, then moves it to the next.
    bool Delete(LSettingsListIteratorTemplate<T> &it) const;
};

// Shared by every list type: the numbered creation behind CreateNewRecord.
// With fd, the new file is left open for writing and its descriptor stored
// there, so its first fields cost no second open.
bool LSettingsCreateNumbered(const LSettingsRecord &list, LSettingsRecord &rec, int *fd = nullptr);

template <class T> class LSettingsListIteratorTemplate
{
  public:
    LSettingsListIteratorTemplate(const char *section, const char *key) : list(section, key)
    {
        Start();
    }
    LSettingsListIteratorTemplate(const LSettingsRecord &parent, const char *key)
        : list(parent, key)
    {
        Start();
    }
    explicit LSettingsListIteratorTemplate(const LSettingsRecord &from) : list(from) { Start(); }

    explicit operator bool() const { return item.IsValid(); }
    T *operator->() { return &item; }
    T &operator*() { return item; }
    void Next()
    {
        const char *key = folder.NextKey();
        if (!key || !list.OpenSubRecord(key, item))
            item.Invalidate();
    }

  private:
    void Start()
    {
        item.Invalidate();
        if (folder.Open(list))
            Next();
    }

    LSettingsRecord list;
    LSettingsFolderIterator folder;
    T item;
};

template <class T> bool LSettingsListTemplate<T>::Delete(LSettingsListIteratorTemplate<T> &it) const
{
    if (!it)
        return false;
    bool deleted = it->DeleteRecord();
    it.Next();
    return deleted;
}
