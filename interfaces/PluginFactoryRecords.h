#pragma once
// The records a plug-in factory hands out, byte for byte as hosts read them.
// 8-bit strings are ASCII, zero-terminated and zero-padded; 16-bit strings hold
// UTF-16 code units, likewise terminated and padded.

#include <cstddef>
#include <cstdint>

#include "Tuid.h"

namespace Zel {

struct FactoryInfo {
    static constexpr int32_t kComponentNonDiscardable = 1 << 3;
    static constexpr int32_t kUnicode = 1 << 4; // wide class information is answered

    char vendor[64];
    char url[256];
    char email[128];
    int32_t flags;
};

struct ClassInfo {
    TUID cid;
    int32_t cardinality;
    char category[32];
    char name[64];
};

struct ClassInfo2 {
    TUID cid;
    int32_t cardinality;
    char category[32];
    char name[64];
    uint32_t classFlags;
    char subCategories[128];
    char vendor[64];
    char version[64];
    char sdkVersion[64];
};

struct ClassInfoWide {
    TUID cid;
    int32_t cardinality;
    char category[32];
    char16_t name[64];
    uint32_t classFlags;
    char subCategories[128];
    char16_t vendor[64];
    char16_t version[64];
    char16_t sdkVersion[64];
};

inline constexpr int32_t kManyInstances = 0x7FFFFFFF; // cardinality: no limit

static_assert(sizeof(FactoryInfo) == 452);
static_assert(offsetof(FactoryInfo, vendor) == 0);
static_assert(offsetof(FactoryInfo, url) == 64);
static_assert(offsetof(FactoryInfo, email) == 320);
static_assert(offsetof(FactoryInfo, flags) == 448);

static_assert(sizeof(ClassInfo) == 116);
static_assert(offsetof(ClassInfo, cid) == 0);
static_assert(offsetof(ClassInfo, cardinality) == 16);
static_assert(offsetof(ClassInfo, category) == 20);
static_assert(offsetof(ClassInfo, name) == 52);

static_assert(sizeof(ClassInfo2) == 440);
static_assert(offsetof(ClassInfo2, cid) == 0);
static_assert(offsetof(ClassInfo2, cardinality) == 16);
static_assert(offsetof(ClassInfo2, category) == 20);
static_assert(offsetof(ClassInfo2, name) == 52);
static_assert(offsetof(ClassInfo2, classFlags) == 116);
static_assert(offsetof(ClassInfo2, subCategories) == 120);
static_assert(offsetof(ClassInfo2, vendor) == 248);
static_assert(offsetof(ClassInfo2, version) == 312);
static_assert(offsetof(ClassInfo2, sdkVersion) == 376);

static_assert(sizeof(ClassInfoWide) == 696);
static_assert(offsetof(ClassInfoWide, cid) == 0);
static_assert(offsetof(ClassInfoWide, cardinality) == 16);
static_assert(offsetof(ClassInfoWide, category) == 20);
static_assert(offsetof(ClassInfoWide, name) == 52);
static_assert(offsetof(ClassInfoWide, classFlags) == 180);
static_assert(offsetof(ClassInfoWide, subCategories) == 184);
static_assert(offsetof(ClassInfoWide, vendor) == 312);
static_assert(offsetof(ClassInfoWide, version) == 440);
static_assert(offsetof(ClassInfoWide, sdkVersion) == 568);

} // namespace Zel
