#pragma once

// The proxy's objects hand out their children by index as plain component
// objects. These ranges walk them as the interface they are meant to be:
//
//     for (const std::shared_ptr<IMediaFile>& file : Files(folder)) ...
//
// The count is read when the range is made; each child is asked for when
// the walk reaches it, so a failing call throws its ComError at that step
// and everything before it has been seen. An entry that does not offer the
// interface (or is missing) is stepped over. The object walked must outlive
// its range.

#include "component_interfaces.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <utility>

namespace velmora {

template <class Interface> class ObjectRange {
public:
    using Getter = std::function<ComPtr(std::int32_t)>;

    // A negative count is read as none.
    ObjectRange(std::int32_t count, Getter get)
        : count_(count > 0 ? count : 0), get_(std::move(get)) {}

    class iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = std::shared_ptr<Interface>;
        using difference_type = std::ptrdiff_t;
        using pointer = const value_type*;
        using reference = const value_type&;

        iterator() = default;
        reference operator*() const { return current_; }
        pointer operator->() const { return &current_; }
        iterator& operator++() {
            ++index_;
            Settle();
            return *this;
        }
        void operator++(int) { ++*this; }
        bool operator==(const iterator& other) const { return index_ == other.index_; }

    private:
        friend class ObjectRange;
        iterator(const ObjectRange* range, std::int32_t index) : range_(range), index_(index) {
            Settle();
        }
        // Moves on to the first entry from index_ on that offers the
        // interface, or to the end.
        void Settle() {
            current_.reset();
            for (; index_ < range_->count_; ++index_) {
                current_ = QueryInterface<Interface>(range_->get_(index_));
                if (current_)
                    return;
            }
            index_ = range_->count_;
        }

        const ObjectRange* range_ = nullptr;
        std::int32_t index_ = 0;
        value_type current_;
    };

    iterator begin() const { return iterator(this, 0); }
    iterator end() const {
        iterator past;
        past.range_ = this;
        past.index_ = count_;
        return past;
    }

private:
    std::int32_t count_;
    Getter get_;
};

// The files of a folder, by index.
ObjectRange<IMediaFile> Files(IFolder& folder);
// The subfolders of a folder, by index.
ObjectRange<IFolder> Subfolders(IFolder& folder);
// The users who share folders with the account's user.
ObjectRange<IUserProfile> SharingUsers(IAccount& account);
// The folders a user shares with the signed-in user.
ObjectRange<IFolder> SharedFolders(IUserProfile& user);

} // namespace velmora
