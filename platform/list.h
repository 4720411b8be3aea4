// Intrusive singly linked list. Elements derive from LListable (one next
// pointer); the list holds only its head and owns its elements: it deletes
// whatever is still listed when it is destroyed.
#pragma once

class LListable
{
  public:
    LListable() = default;
    virtual ~LListable() = default;
    LListable(const LListable &) = delete;
    LListable &operator=(const LListable &) = delete;

    LListable *GetNext() const { return m_next; }

  private:
    friend class LList;
    friend class LListIterator;
    LListable *m_next = nullptr;
};

class LList
{
  public:
    LList() = default;
    ~LList() { DeleteAll(); }
    LList(const LList &) = delete;
    LList &operator=(const LList &) = delete;

    // Add and AddTop insert at the front: iteration runs newest first.
    void Add(LListable *element) { AddTop(element); }
    void AddTop(LListable *element);
    // Walks to the end and appends.
    void AddBottom(LListable *element);

    LListable *GetFirst() const { return m_head; }
    bool IsEmpty() const { return m_head == nullptr; }
    int GetCount() const;
    bool Contains(const LListable *element) const;

    // Unlinks the element without deleting it; false when it is not listed.
    bool Detach(LListable *element);
    // Unlinks and deletes the element; false (and nothing deleted) when it is
    // not listed.
    bool Delete(LListable *element);
    // Unlinks and returns the first element (nullptr when empty).
    LListable *DetachFirst();
    void DeleteAll();
    // Moves every element of other to this list's front, keeping their order.
    void TakeAll(LList &other);

  private:
    friend class LListIterator;
    LListable *m_head = nullptr;
};

// Walks a list from the front. Detach and Delete leave the iterator on the
// element after the removed one, so a removing loop does not call Next:
//   for (LListIterator it(list); it.Get();)
//       if (Done(it.Get())) it.Delete(); else it.Next();
class LListIterator
{
  public:
    explicit LListIterator(LList &list) : m_list(&list), m_link(&list.m_head) {}

    LListable *Get() const { return *m_link; }
    template <class T> T *Get() const { return static_cast<T *>(*m_link); }
    bool IsValid() const { return *m_link != nullptr; }
    void Next()
    {
        if (*m_link)
            m_link = &(*m_link)->m_next;
    }
    void Reset() { m_link = &m_list->m_head; }
    // Unlinks the current element and returns it (the caller owns it now).
    LListable *Detach();
    // Unlinks and deletes the current element.
    void Delete() { delete Detach(); }

  private:
    LList *m_list;
    LListable **m_link; // the link that points at the current element
};

// Typed views, so users need no casts.
template <class T> class LListOf : public LList
{
  public:
    T *GetFirst() const { return static_cast<T *>(LList::GetFirst()); }
    T *DetachFirst() { return static_cast<T *>(LList::DetachFirst()); }
};

template <class T> class LListIteratorOf : public LListIterator
{
  public:
    explicit LListIteratorOf(LList &list) : LListIterator(list) {}
    T *Get() const { return LListIterator::Get<T>(); }
    T *operator->() const { return Get(); }
    T *Detach() { return static_cast<T *>(LListIterator::Detach()); }
};

// Next element as T (for walking with GetFirst/GetNext).
template <class T> T *LListNext(const T *element)
{
    return static_cast<T *>(element->GetNext());
}
