// The tuner driver interface. A driver library hands out one object through
// its CreateBonDriver export; the program reaches that object only through its
// table of virtual operations, by position. Each table position is declared
// here once, in position order, without overloads and without a virtual
// destructor, so every compiler lays the table out the same way. The names
// stay at global scope: the run-time check for the extended interface
// compares type names across the library boundary, and drivers are compiled
// against exactly these names.
//
// The member functions use the compiler's default convention for members,
// which is also what a driver built from this header uses.
#pragma once

#include <cstdint>

class IBonDriver {
 public:
  virtual std::int32_t Open() = 0;                  // 0: non-zero = opened
  virtual void Close() = 0;                         // 1
  virtual void Reserved2() = 0;                     // 2: never called
  virtual void Reserved3() = 0;                     // 3: never called
  virtual void Reserved4() = 0;                     // 4: never called
  virtual void Reserved5() = 0;                     // 5: never called
  // 6: hands out a block the driver owns; non-zero = a block was handed out.
  virtual std::int32_t FetchStream(std::uint8_t** block, std::uint32_t* size,
                                   std::uint32_t* remain) = 0;
  virtual void Reserved7() = 0;                     // 7: never called
  virtual void FlushStream() = 0;                   // 8
  virtual void Destroy() = 0;                       // 9: the object is gone afterwards

 protected:
  ~IBonDriver() = default;
};

class IBonDriver2 : public IBonDriver {
 public:
  virtual void Reserved10() = 0;                    // 10: never called
  virtual void Reserved11() = 0;                    // 11: never called
  virtual void Reserved12() = 0;                    // 12: never called
  virtual void Reserved13() = 0;                    // 13: never called
  virtual std::int32_t SelectSpaceChannel(std::uint32_t space,
                                          std::uint32_t channel) = 0;  // 14

 protected:
  ~IBonDriver2() = default;
};

// The one export of a driver library.
using BonDriverFactory = IBonDriver* (*)();
inline constexpr char kBonDriverFactoryName[] = "CreateBonDriver";
