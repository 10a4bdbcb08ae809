#pragma once
// A table of string atoms, as the window system keeps them: each name gets one 16-bit atom
// in 0xC000..0xFFFF, and every add takes one more reference that a delete gives back.

#include <QHash>
#include <QString>
#include <cstdint>

namespace numarika {

class AtomTable {
  public:
    // The atom for `name` (case-insensitive), or 0 when the table is full.
    std::uint16_t add(const QString& name);
    // Gives back one reference; the atom is freed with its last one. Returns false for an
    // atom that is not in the table.
    bool remove(std::uint16_t atom);
    int references(const QString& name) const;
    int size() const { return static_cast<int>(byAtom_.size()); }

  private:
    struct Entry {
        QString name;
        int refs = 0;
    };
    QHash<std::uint16_t, Entry> byAtom_;
    QHash<QString, std::uint16_t> byName_;
};

}  // namespace numarika
