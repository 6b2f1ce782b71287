#pragma once

// A map that forgets: each entry remembers when it was last heard, entries
// not heard for `keep` go, and beyond `cap` entries the longest unheard go
// first. Bench mode keeps what it knows of each unit in one, so that replies
// from ever new addresses cannot grow its memory without end.

#include <chrono>
#include <cstddef>
#include <list>
#include <map>

namespace melvorin::cli {

template <class Key, class Value>
class RecentMap {
public:
    using Clock = std::chrono::steady_clock;

    RecentMap(std::size_t cap, Clock::duration keep) : cap_(cap), keep_(keep) {}

    // The entry, or nullptr.
    Value* Find(const Key& key) {
        const auto it = entries_.find(key);
        return it == entries_.end() ? nullptr : &it->second.value;
    }
    // When the entry was last heard; nullptr when there is none.
    const Clock::time_point* HeardAt(const Key& key) const {
        const auto it = entries_.find(key);
        return it == entries_.end() ? nullptr : &it->second.heard;
    }
    // The entry, made when missing, heard at `now`.
    Value& Hear(const Key& key, Clock::time_point now) {
        auto [it, added] = entries_.try_emplace(key);
        if (!added) order_.erase(it->second.at);
        it->second.heard = now;
        it->second.at = order_.insert(order_.end(), key);
        return it->second.value;
    }
    // The entry of `from` under `to` instead (which holds none), heard at
    // `now`.
    Value& Move(const Key& from, const Key& to, Clock::time_point now) {
        const auto it = entries_.find(from);
        Entry entry = std::move(it->second);
        order_.erase(entry.at);
        entries_.erase(it);
        entry.heard = now;
        entry.at = order_.insert(order_.end(), to);
        return entries_.insert_or_assign(to, std::move(entry)).first->second.value;
    }
    // Forgets the entries not heard since `now - keep`, and the longest
    // unheard beyond the cap; `gone(key, value)` is told of each first.
    template <class Gone>
    void Trim(Clock::time_point now, Gone gone) {
        while (!order_.empty()) {
            const auto it = entries_.find(order_.front());
            if (entries_.size() <= cap_ && now - it->second.heard < keep_) break;
            gone(it->first, it->second.value);
            order_.pop_front();
            entries_.erase(it);
        }
    }
    std::size_t Size() const { return entries_.size(); }
    template <class Each>
    void ForEach(Each each) const {
        for (const auto& [key, entry] : entries_) each(key, entry.value);
    }

private:
    struct Entry {
        Value value{};
        Clock::time_point heard;
        typename std::list<Key>::iterator at;
    };
    std::size_t cap_;
    Clock::duration keep_;
    std::map<Key, Entry> entries_;
    std::list<Key> order_;  // longest unheard first
};

}  // namespace melvorin::cli
