#include "platform/list.h"

void LList::AddTop(LListable *element)
{
    if (!element)
        return;
    element->m_next = m_head;
    m_head = element;
}

void LList::AddBottom(LListable *element)
{
    if (!element)
        return;
    LListable **link = &m_head;
    while (*link)
        link = &(*link)->m_next;
    element->m_next = nullptr;
    *link = element;
}

int LList::GetCount() const
{
    int count = 0;
    for (LListable *e = m_head; e; e = e->m_next)
        count++;
    return count;
}

bool LList::Contains(const LListable *element) const
{
    for (LListable *e = m_head; e; e = e->m_next)
        if (e == element)
            return true;
    return false;
}

bool LList::Detach(LListable *element)
{
    for (LListable **link = &m_head; *link; link = &(*link)->m_next) {
        if (*link == element) {
            *link = element->m_next;
            element->m_next = nullptr;
            return true;
        }
    }
    return false;
}

bool LList::Delete(LListable *element)
{
    if (!Detach(element))
        return false;
    delete element;
    return true;
}

LListable *LList::DetachFirst()
{
    LListable *first = m_head;
    if (first) {
        m_head = first->m_next;
        first->m_next = nullptr;
    }
    return first;
}

void LList::DeleteAll()
{
    while (LListable *e = DetachFirst())
        delete e;
}

void LList::TakeAll(LList &other)
{
    if (!other.m_head || &other == this)
        return;
    LListable *last = other.m_head;
    while (last->m_next)
        last = last->m_next;
    last->m_next = m_head;
    m_head = other.m_head;
    other.m_head = nullptr;
}

LListable *LListIterator::Detach()
{
    LListable *current = *m_link;
    if (!current)
        return nullptr;
    *m_link = current->m_next;
    current->m_next = nullptr;
    return current;
}
