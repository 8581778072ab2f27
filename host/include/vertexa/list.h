// The host's object list: a doubly linked list of item pointers with a cursor.
//
// The scene's object, camera, light and surface lists and a mesh's material
// reference list are all of this type. Plug-ins carry their own copy of the
// operations below (they are inline and work on the fields directly), so the
// field layout is part of the contract between host and plug-in:
// counts and indices are 32-bit, node and item pointers are native.
#pragma once

#include <cstdint>

#include "vertexa/memory.h"

struct MListNode : vertexa::HostObject {
    uint32_t tag;      // 0 when made; not read by the list operations
    void* item;        // the appended pointer
    MListNode* next;   // null at the tail
    MListNode* prev;   // null at the head
};

struct MList {
    MListNode* head = nullptr;
    MListNode* tail = nullptr;
    MListNode* mark = nullptr;    // second cursor, set together with cursor by append
    MListNode* cursor = nullptr;  // current node
    int32_t cursor_index = -1;    // index of cursor; negative: the cursor stands nowhere
    int32_t mark_index = -1;
    uint32_t count = 0;

    // Adds the item at the end; the cursor and the mark move to the new node.
    // Returns false, leaving the list unchanged, when no node could be
    // allocated; the item then still belongs to the caller.
    bool append(void* new_item) {
        MListNode* node = new MListNode;
        if (node == nullptr) return false;
        node->tag = 0;
        node->item = new_item;
        node->next = nullptr;
        node->prev = nullptr;
        if (head == nullptr) {
            head = tail = node;
            cursor = mark = node;
            cursor_index = mark_index = 0;
        } else {
            tail->next = node;
            node->prev = tail;
            tail = node;
            cursor = mark = node;
            cursor_index = mark_index = static_cast<int32_t>(count);
        }
        count = count + 1u;
        if (count == 0u) {
            cursor = mark = nullptr;
            cursor_index = mark_index = -1;
        }
        return true;
    }

    // Moves the cursor by `steps` nodes (negative: backwards). 0 on success,
    // 1 when the cursor stands nowhere or an end was reached first (the cursor
    // then stays on the last node it reached).
    int move(int32_t steps) {
        if (cursor_index < 0) return 1;
        if (steps == 0) return 0;
        if (steps > 0) {
            for (int32_t i = 0; i < steps; ++i) {
                if (cursor->next == nullptr) return 1;
                cursor = cursor->next;
                cursor_index = cursor_index + 1;
            }
        } else {
            // Counted as a 64-bit number so that steps == INT32_MIN cannot overflow.
            for (int64_t i = 0; i < -static_cast<int64_t>(steps); ++i) {
                if (cursor->prev == nullptr) return 1;
                cursor = cursor->prev;
                cursor_index = cursor_index - 1;
            }
        }
        return 0;
    }

    // The item at `index`, moving the cursor there. An index past the end
    // gives the last item, a negative one the first; an empty list gives null.
    void* get(int32_t index) {
        if (cursor_index >= 0) {
            // The distance in 64 bits, then held to 32: INT32_MIN from a
            // cursor past the first node would wrap to a step forwards.
            int64_t steps = static_cast<int64_t>(index) - cursor_index;
            if (steps < INT32_MIN) steps = INT32_MIN;
            move(static_cast<int32_t>(steps));
        }
        if (cursor_index < 0) return nullptr;
        return cursor->item;
    }

    uint32_t size() const { return count; }
    int is_empty() const { return count == 0u ? 1 : 0; }

    // Host side: walks the items in order without touching the cursor.
    template <typename F>
    void for_each(F&& f) const {
        for (MListNode* n = head; n != nullptr; n = n->next) f(n->item);
    }

    // Host side: releases every node (not the items) and empties the list.
    void free_nodes() {
        MListNode* n = head;
        while (n != nullptr) {
            MListNode* next = n->next;
            delete n;
            n = next;
        }
        head = tail = mark = cursor = nullptr;
        cursor_index = mark_index = -1;
        count = 0;
    }
};
