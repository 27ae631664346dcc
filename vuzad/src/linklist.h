// Circular doubly linked lists with the head inside the owning record, as the engine's
// lists of free lists, of blocks and of dirty frames use them.
#pragma once

struct ListLink
{
    ListLink* next;
    ListLink* prev;

    /// An empty list: both links point at the head.
    static void Init(ListLink* head)
    {
        head->next = head;
        head->prev = head;
    }
    static bool IsEmpty(const ListLink* head) { return head->next == head; }
    /// Links the node right after the head.
    static void InsertAtHead(ListLink* head, ListLink* node)
    {
        node->next = head->next;
        node->prev = head;
        head->next->prev = node;
        head->next = node;
    }
    /// Unlinks the node and leaves it pointing at itself, so a second unlink is harmless.
    static void Unlink(ListLink* node)
    {
        node->prev->next = node->next;
        node->next->prev = node->prev;
        node->next = node;
        node->prev = node;
    }
};
