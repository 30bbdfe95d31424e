#include "sim/ascii_case.h"

namespace setup::sim {
namespace {

template <typename Char>
Char Fold(Char unit) {
  if (unit >= Char('A') && unit <= Char('Z'))
    return static_cast<Char>(unit - Char('A') + Char('a'));
  return unit;
}

template <typename Char>
bool EqualsFolded(std::basic_string_view<Char> left, std::basic_string_view<Char> right) {
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (Fold(left[i]) != Fold(right[i])) return false;
  }
  return true;
}

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view left, std::string_view right) {
  return EqualsFolded(left, right);
}

bool EqualsIgnoringAsciiCase(std::u16string_view left, std::u16string_view right) {
  return EqualsFolded(left, right);
}

std::u16string FoldedKey(std::u16string_view text) {
  std::u16string key(text);
  for (char16_t& unit : key) unit = Fold(unit);
  return key;
}

bool MatchesWildcard(std::u16string_view pattern, std::u16string_view name) {
  if (pattern == u"*.*") return true;
  constexpr std::size_t kNoStar = std::u16string_view::npos;
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t starAt = kNoStar;  // the last '*' seen, to backtrack to
  std::size_t starMatchedUpTo = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starAt = p++;
      starMatchedUpTo = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++p;
      ++n;
    } else if (starAt != kNoStar) {
      // Let the last '*' swallow one more unit and try again.
      p = starAt + 1;
      n = ++starMatchedUpTo;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace setup::sim
