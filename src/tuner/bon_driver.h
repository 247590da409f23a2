// The tuner driver interface. A driver library hands out one object through
// its CreateBonDriver export; the program reaches that object only through its
// table of virtual operations, by position. Each table position is declared
// here once, in position order, without overloads and without a virtual
// destructor, so every compiler lays the table out the same way. The names
// stay at global scope: the run-time check for the extended interface
// compares type names across the library boundary, and drivers are compiled
// against exactly these names.
//
// The member functions' calling convention is named explicitly: the 32-bit
// Windows build defines KESTRUN_MEMBER_CALL as __thiscall, the convention
// of real drivers, so it does not rest on a compiler's default. Elsewhere
// there is only one convention and the macro is empty.
#pragma once

#include <cstdint>

#ifndef KESTRUN_MEMBER_CALL
#define KESTRUN_MEMBER_CALL
#endif

class IBonDriver {
 public:
  virtual std::int32_t KESTRUN_MEMBER_CALL Open() = 0;   // 0: non-zero = opened
  virtual void KESTRUN_MEMBER_CALL Close() = 0;          // 1
  virtual void KESTRUN_MEMBER_CALL Reserved2() = 0;      // 2: never called
  // 3: the signal level the tuner measures, usually a C/N in dB; a value
  // that is not finite means the driver has none.
  virtual float KESTRUN_MEMBER_CALL GetSignalLevel() = 0;
  virtual void KESTRUN_MEMBER_CALL Reserved4() = 0;      // 4: never called
  virtual void KESTRUN_MEMBER_CALL Reserved5() = 0;      // 5: never called
  // 6: hands out a block the driver owns; non-zero = a block was handed out.
  virtual std::int32_t KESTRUN_MEMBER_CALL FetchStream(std::uint8_t** block, std::uint32_t* size,
                                                       std::uint32_t* remain) = 0;
  virtual void KESTRUN_MEMBER_CALL Reserved7() = 0;      // 7: never called
  virtual void KESTRUN_MEMBER_CALL FlushStream() = 0;    // 8
  virtual void KESTRUN_MEMBER_CALL Destroy() = 0;        // 9: the object is gone afterwards

 protected:
  ~IBonDriver() = default;
};

class IBonDriver2 : public IBonDriver {
 public:
  virtual void KESTRUN_MEMBER_CALL Reserved10() = 0;     // 10: never called
  virtual void KESTRUN_MEMBER_CALL Reserved11() = 0;     // 11: never called
  virtual void KESTRUN_MEMBER_CALL Reserved12() = 0;     // 12: never called
  virtual void KESTRUN_MEMBER_CALL Reserved13() = 0;     // 13: never called
  virtual std::int32_t KESTRUN_MEMBER_CALL SelectSpaceChannel(std::uint32_t space,
                                                              std::uint32_t channel) = 0;  // 14

 protected:
  ~IBonDriver2() = default;
};

// The one export of a driver library.
using BonDriverFactory = IBonDriver* (*)();
inline constexpr char kBonDriverFactoryName[] = "CreateBonDriver";
