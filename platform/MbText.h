// Multibyte text in the process's code page (GBK on the program's Windows
// systems): searches and trims that never take a trail byte for an ASCII character.
#pragma once

#include <cstddef>
#include <string>

// Sets the process's multibyte code page to the system's ANSI one (_setmbcp(_MB_CP_ANSI)).
// Call first thing in every program; a no-op off Windows.
void InitMultibyte();
// True when `c` starts a double-byte character in the process's code page.
bool IsLeadByte(unsigned char c);
// True when `c` may follow a lead byte as the second byte of a character.
bool IsTrailByte(unsigned char c);

// Position of the first / last character `ch` (ASCII) in `text`, stepping over
// double-byte characters; std::string::npos when there is none.
std::size_t FindChar(const std::string& text, char ch, std::size_t start = 0);
std::size_t FindLastChar(const std::string& text, char ch);
// Removes every trailing / leading character `ch`, whole characters only.
void TrimRightChar(std::string& text, char ch);
void TrimLeftChar(std::string& text, char ch);
// `text` with every trailing character `ch` removed and exactly one added.
std::string WithOneTrailingChar(std::string text, char ch);
