#include "tools/keystrel/wildcard.h"

#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

bool WildcardMatch(std::u16string_view pattern, std::u16string_view text, bool case_sensitive,
                   bool anywhere) {
  const auto same = [&](char16_t a, char16_t b) {
    return case_sensitive ? a == b : FoldCase(a) == FoldCase(b);
  };
  // Greedy matching with one backtrack point: linear in practice, no recursion.
  const auto match_at = [&](size_t t_start) {
    size_t p = 0, t = t_start, star = std::u16string_view::npos, mark = 0;
    while (t < text.size()) {
      if (p < pattern.size() && pattern[p] == u'*') {
        star = p++;
        mark = t;
      } else if (p < pattern.size() && (pattern[p] == u'?' || same(pattern[p], text[t]))) {
        ++p;
        ++t;
      } else if (p == pattern.size() && anywhere) {
        return true;
      } else if (star != std::u16string_view::npos) {
        p = star + 1;
        t = ++mark;
      } else {
        return false;
      }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
  };
  if (!anywhere) return match_at(0);
  for (size_t start = 0; start <= text.size(); ++start) {
    if (match_at(start)) return true;
  }
  return false;
}

}  // namespace keystrel::cli
