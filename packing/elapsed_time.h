#ifndef LORMEX_PACKING_ELAPSED_TIME_H_
#define LORMEX_PACKING_ELAPSED_TIME_H_

#include <cstdint>
#include <string>

namespace lormex {

// "HH:MM:SS" for a number of whole seconds; the hours start again from 00 after 24 hours.
std::string ElapsedTimeText(std::int64_t seconds);

}  // namespace lormex

#endif  // LORMEX_PACKING_ELAPSED_TIME_H_
