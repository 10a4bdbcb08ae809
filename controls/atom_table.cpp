#include "controls/atom_table.h"

namespace numarika {

std::uint16_t AtomTable::add(const QString& name) {
    const QString key = name.toCaseFolded();
    if (auto it = byName_.constFind(key); it != byName_.cend()) {
        ++byAtom_[it.value()].refs;
        return it.value();
    }
    for (std::uint32_t atom = 0xC001; atom <= 0xFFFF; ++atom) {
        const auto a = static_cast<std::uint16_t>(atom);
        if (byAtom_.contains(a)) continue;
        byAtom_.insert(a, Entry{name, 1});
        byName_.insert(key, a);
        return a;
    }
    return 0;
}

bool AtomTable::remove(std::uint16_t atom) {
    auto it = byAtom_.find(atom);
    if (it == byAtom_.end()) return false;
    if (--it->refs == 0) {
        byName_.remove(it->name.toCaseFolded());
        byAtom_.erase(it);
    }
    return true;
}

int AtomTable::references(const QString& name) const {
    const auto it = byName_.constFind(name.toCaseFolded());
    return it == byName_.cend() ? 0 : byAtom_.value(it.value()).refs;
}

}  // namespace numarika
