// Driver objects on Windows come in two kinds of type information. Real
// drivers are built by Microsoft's compiler: the slot before their table of
// virtual operations points at MSVC's "complete object locator", which a
// mingw dynamic_cast would misread as a GNU type_info and follow into
// garbage. So the records are recognised first and walked by hand, every
// pointer checked to stay inside the module that holds them; dynamic_cast
// is left for objects in the GNU ABI; anything else is not read further.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/driver_type.h"

namespace kestrun::platform {
namespace {

// On x86-64 the records refer to each other by offsets from the module's
// base and the locator carries its own offset; on x86 they hold addresses.
constexpr bool kImageRelative = sizeof(void*) == 8;
constexpr DWORD kLocatorSignature = kImageRelative ? 1 : 0;
// MSVC's decorated name of the extended interface, as its own cast compares it.
constexpr char kExtendedTypeName[] = ".?AVIBonDriver2@@";
constexpr DWORD kMostBaseClasses = 1024;
constexpr std::size_t kLongestTypeName = 4096;

// The records of MSVC's run-time type information.
struct CompleteObjectLocator {
  DWORD signature;
  DWORD offset;  // of this table's sub-object within the complete object
  DWORD constructorOffset;
  DWORD typeDescriptor;
  DWORD classDescriptor;
};  // on x86-64 followed by the locator's own offset

struct ClassHierarchyDescriptor {
  DWORD signature;
  DWORD attributes;
  DWORD baseCount;
  DWORD baseArray;  // baseCount references to BaseClassDescriptor
};

struct BaseClassDescriptor {
  DWORD typeDescriptor;
  DWORD containedBases;
  std::int32_t memberOffset;   // mdisp: the base's offset in the complete object
  std::int32_t vbtableOffset;  // pdisp: -1 for a base that is not virtual
  std::int32_t vbaseOffset;    // vdisp
  DWORD attributes;
};
constexpr DWORD kBaseNotVisible = 0x1;
constexpr DWORD kBaseAmbiguous = 0x2;
constexpr DWORD kBasePrivateOrProtected = 0x4;

// A type descriptor: a table pointer, a spare pointer, then the name.
constexpr std::size_t kTypeNameOffset = 2 * sizeof(void*);

// The image of one loaded module.
struct Image {
  std::uintptr_t base = 0;
  std::uintptr_t size = 0;

  bool Holds(std::uintptr_t address, std::size_t length) const {
    return address >= base && length <= size && address - base <= size - length;
  }
  std::uintptr_t Resolve(DWORD reference) const {
    return kImageRelative ? base + reference : reference;
  }
};

// Committed and readable, every page of it.
bool Readable(std::uintptr_t address, std::size_t length) {
  while (length > 0) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<LPCVOID>(address), &region, sizeof region) == 0) return false;
    if (region.State != MEM_COMMIT || (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) {
      return false;
    }
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (end - address >= length) return true;
    length -= end - address;
    address = end;
  }
  return true;
}

// Copies a record that lies wholly inside the image.
template <class Record>
bool ReadRecord(const Image& image, std::uintptr_t address, Record* record) {
  if (!image.Holds(address, sizeof(Record)) || !Readable(address, sizeof(Record))) return false;
  std::memcpy(record, reinterpret_cast<const void*>(address), sizeof(Record));
  return true;
}

// The loaded module that holds the address, with its size from its PE header.
std::optional<Image> ImageHolding(std::uintptr_t address) {
  HMODULE module = nullptr;
  const DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(address), &module)) return std::nullopt;
  Image headers{reinterpret_cast<std::uintptr_t>(module), 64 * 1024};
  IMAGE_DOS_HEADER dos{};
  IMAGE_NT_HEADERS nt{};
  if (!ReadRecord(headers, headers.base, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      dos.e_lfanew < 0 || !ReadRecord(headers, headers.base + dos.e_lfanew, &nt) ||
      nt.Signature != IMAGE_NT_SIGNATURE) {
    return std::nullopt;
  }
  const Image image{headers.base, nt.OptionalHeader.SizeOfImage};
  if (!image.Holds(address, 1)) return std::nullopt;
  return image;
}

// The object's locator when its table and the locator lie in one module and
// the locator's signature (and on x86-64 its own offset) fits that module.
bool FindLocator(std::uintptr_t table, Image* image, CompleteObjectLocator* locator) {
  const std::optional<Image> found = ImageHolding(table);
  std::uintptr_t address = 0;
  if (!found || !ReadRecord(*found, table - sizeof(void*), &address) ||
      !ReadRecord(*found, address, locator) || locator->signature != kLocatorSignature) {
    return false;
  }
  if constexpr (kImageRelative) {
    DWORD self = 0;
    if (!ReadRecord(*found, address + sizeof(CompleteObjectLocator), &self) ||
        found->Resolve(self) != address) {
      return false;
    }
  }
  *image = *found;
  return true;
}

bool TypeNameIs(const Image& image, std::uintptr_t typeDescriptor, const char* name) {
  const std::size_t length = kTypeNameOffset + std::strlen(name) + 1;
  if (!image.Holds(typeDescriptor, length) || !Readable(typeDescriptor, length)) return false;
  return std::memcmp(reinterpret_cast<const char*>(typeDescriptor) + kTypeNameOffset, name,
                     length - kTypeNameOffset) == 0;
}

// Walks the class hierarchy for a public, unambiguous, non-virtual base of
// the extended interface's name and applies its offset.
IBonDriver2* MsvcCast(IBonDriver* driver, const Image& image, const CompleteObjectLocator& locator) {
  ClassHierarchyDescriptor hierarchy{};
  if (!ReadRecord(image, image.Resolve(locator.classDescriptor), &hierarchy) ||
      hierarchy.baseCount > kMostBaseClasses) {
    return nullptr;
  }
  const std::uintptr_t bases = image.Resolve(hierarchy.baseArray);
  for (DWORD i = 0; i < hierarchy.baseCount; ++i) {
    DWORD reference = 0;
    BaseClassDescriptor base{};
    if (!ReadRecord(image, bases + i * sizeof(DWORD), &reference) ||
        !ReadRecord(image, image.Resolve(reference), &base)) {
      return nullptr;
    }
    const DWORD hidden = kBaseNotVisible | kBaseAmbiguous | kBasePrivateOrProtected;
    if ((base.attributes & hidden) != 0 || base.vbtableOffset != -1) continue;
    if (!TypeNameIs(image, image.Resolve(base.typeDescriptor), kExtendedTypeName)) continue;
    const std::uintptr_t complete = reinterpret_cast<std::uintptr_t>(driver) - locator.offset;
    return reinterpret_cast<IBonDriver2*>(complete + static_cast<std::intptr_t>(base.memberOffset));
  }
  return nullptr;
}

// A NUL within the module that holds the text.
bool IsTerminatedText(std::uintptr_t text) {
  const std::optional<Image> image = ImageHolding(text);
  if (!image) return false;
  std::size_t room = image->base + image->size - text;
  if (room > kLongestTypeName) room = kLongestTypeName;
  if (!Readable(text, room)) return false;
  return std::memchr(reinterpret_cast<const void*>(text), '\0', room) != nullptr;
}

// The GNU ABI: the slot before the table points at a type_info object, which
// starts with its own table pointer and holds a pointer to its name.
bool HasGnuTypeInfo(std::uintptr_t table) {
  struct TypeInfo {
    std::uintptr_t table;
    std::uintptr_t name;
  };
  const std::optional<Image> image = ImageHolding(table);
  std::uintptr_t address = 0;
  if (!image || !ReadRecord(*image, table - sizeof(void*), &address)) return false;
  const std::optional<Image> typeImage = ImageHolding(address);
  TypeInfo typeInfo{};
  return typeImage && ReadRecord(*typeImage, address, &typeInfo) &&
         ImageHolding(typeInfo.table).has_value() && IsTerminatedText(typeInfo.name);
}

}  // namespace

IBonDriver2* ExtendedInterfaceOf(IBonDriver* driver) {
  const auto object = reinterpret_cast<std::uintptr_t>(driver);
  if (driver == nullptr || !Readable(object, sizeof(void*))) return nullptr;
  std::uintptr_t table = 0;
  std::memcpy(&table, driver, sizeof table);
  Image image;
  CompleteObjectLocator locator{};
  if (FindLocator(table, &image, &locator)) return MsvcCast(driver, image, locator);
  if (HasGnuTypeInfo(table)) return dynamic_cast<IBonDriver2*>(driver);
  return nullptr;
}

}  // namespace kestrun::platform
