#include <cmath>

#include "packing/picture_reencoder.h"

namespace lormex {
namespace {

// Nearest integer, an exact half to the even neighbour, whatever the floating-point rounding
// mode of the thread happens to be. |value| is at most |max_side| here, so the int is safe.
int RoundHalfToEven(double value) {
  const double below = std::floor(value);
  const double rest = value - below;
  double result = below;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(below, 2.0) != 0.0)) result = below + 1.0;
  return static_cast<int>(result);
}

}  // namespace

PictureSize ScaledPictureSize(int width, int height, int max_side) {
  if (width <= 0 || height <= 0) return {};
  const float ratio = static_cast<float>(static_cast<double>(width) / static_cast<double>(height));
  if (width > height) {
    return {max_side, RoundHalfToEven(static_cast<double>(max_side) / static_cast<double>(ratio))};
  }
  return {RoundHalfToEven(static_cast<double>(max_side) * static_cast<double>(ratio)), max_side};
}

}  // namespace lormex
