#pragma once
// A set of the values of a small enumeration (at most 32 values), stored as bits in place: value N is
// bit N.

#include <cstdint>
#include <initializer_list>

template <typename E> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> Values) {
        for (E V : Values)
            FBits |= Bit(V);
    }
    static constexpr TSet FromBits(uint32_t Bits) {
        TSet S;
        S.FBits = Bits;
        return S;
    }
    constexpr uint32_t Bits() const { return FBits; }
    constexpr bool Contains(E V) const { return FBits & Bit(V); }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr TSet& Include(E V) {
        FBits |= Bit(V);
        return *this;
    }
    constexpr TSet& Exclude(E V) {
        FBits &= ~Bit(V);
        return *this;
    }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr uint32_t Bit(E V) { return uint32_t(1) << unsigned(V); }
    uint32_t FBits = 0;
};
