// SPDX-License-Identifier: MIT
#include "TimeText/PictureTranslation.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Our single-quoted text cannot hold a single quote, so that one goes in double quotes.
void AppendLiteral(std::string& out, std::string_view text) {
  std::string run;
  const auto flush = [&] {
    if (!run.empty()) out += '\'' + run + '\'';
    run.clear();
  };
  for (const char c : text) {
    if (c == '\'') {
      flush();
      out += "\"'\"";
    } else {
      run += c;
    }
  }
  flush();
}

// Quoted text from the quote at pos: '' inside is a quote character, and an
// unterminated quote runs to the end. Returns the position after it.
std::size_t ReadQuoted(std::string_view picture, std::size_t pos, std::string& text) {
  for (++pos; pos < picture.size(); ++pos) {
    if (picture[pos] != '\'') {
      text += picture[pos];
    } else if (pos + 1 < picture.size() && picture[pos + 1] == '\'') {
      text += '\'';
      ++pos;
    } else {
      return pos + 1;
    }
  }
  return pos;
}

void AppendRun(std::string& out, char letter, std::size_t count, bool withEra) {
  if (letter == 'd' || letter == 'y' || (withEra && letter == 'g'))
    out.append(count, letter);
  else if (letter == 'M')
    out.append(count, 'm');
  else
    AppendLiteral(out, std::string(count, letter));
}

}  // namespace

std::string TranslateDatePicture(std::string_view picture, bool withEra) {
  std::string out;
  std::size_t pos = 0;
  while (pos < picture.size()) {
    const char c = picture[pos];
    if (c == '\'') {
      std::string text;
      pos = ReadQuoted(picture, pos, text);
      AppendLiteral(out, text.empty() ? "'" : text);  // a bare '' is a quote character
    } else if (IsAsciiLetter(c)) {
      std::size_t end = pos + 1;
      while (end < picture.size() && picture[end] == c) ++end;
      AppendRun(out, c, end - pos, withEra);
      pos = end;
    } else {
      if (c == '"')
        AppendLiteral(out, "\"");
      else
        out += c;
      ++pos;
    }
  }
  return out;
}

TTimeTraits ReadTimeTraits(std::string_view picture) {
  TTimeTraits traits;
  std::size_t hourAt = std::string_view::npos, markerAt = std::string_view::npos;
  bool quoted = false;
  for (std::size_t i = 0; i < picture.size(); ++i) {
    const char c = picture[i];
    if (c == '\'') {
      quoted = !quoted;  // Qt's '' (a quote character) toggles twice
    } else if (quoted) {
      continue;
    } else if (c == 'h' || c == 'H') {
      if (hourAt == std::string_view::npos) hourAt = i;
      if (i + 1 < picture.size() && picture[i + 1] == c) traits.LeadingZero = true;
    } else if ((c == 'a' || c == 'A') && markerAt == std::string_view::npos) {
      markerAt = i;
    }
  }
  traits.TwelveHour = markerAt != std::string_view::npos;
  traits.MarkerFirst = traits.TwelveHour && (hourAt == std::string_view::npos || markerAt < hourAt);
  return traits;
}

std::string TimePattern(const TTimeTraits& traits, bool withSeconds) {
  std::string pattern = traits.LeadingZero ? "hh:mm" : "h:mm";
  if (withSeconds) pattern += ":ss";
  if (traits.TwelveHour) pattern = traits.MarkerFirst ? "AMPM " + pattern : pattern + " AMPM";
  return pattern;
}
