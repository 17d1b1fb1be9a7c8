#pragma once

// Head-and-tail list of records that begin with their own previous/next
// links. Frames name their links parent/child, hence the member pointers.
template <class T, T* T::*Prev = &T::previous, T* T::*Next = &T::next>
struct RecordList {
    T* head = nullptr;
    T* tail = nullptr;

    RecordList() = default;
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;
    ~RecordList() { deleteAll(); }

    bool empty() const { return head == nullptr; }

    // Appends at the tail and takes ownership.
    bool append(T* node) {
        if (node == nullptr) return false;
        node->*Prev = tail;
        node->*Next = nullptr;
        if (tail != nullptr)
            tail->*Next = node;
        else
            head = node;
        tail = node;
        return true;
    }

    // Unlinks without deleting.
    bool unlink(T* node) {
        if (node == nullptr || head == nullptr) return false;
        T* prev = node->*Prev;
        T* next = node->*Next;
        if (prev != nullptr)
            prev->*Next = next;
        else
            head = next;
        if (next != nullptr)
            next->*Prev = prev;
        else
            tail = prev;
        node->*Prev = nullptr;
        node->*Next = nullptr;
        return true;
    }

    bool removeNode(T* node) {
        if (!unlink(node)) return false;
        delete node;
        return true;
    }

    void deleteAll() {
        T* node = head;
        while (node != nullptr) {
            T* next = node->*Next;
            delete node;
            node = next;
        }
        head = nullptr;
        tail = nullptr;
    }
};
