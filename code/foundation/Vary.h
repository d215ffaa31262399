// A value that is an integer, a float or a string and reads as any of the
// three: the other two forms are made on first demand and cached until the
// value changes. Arithmetic follows the value's own type.
#pragma once
#include <string>
#include <vector>

class Vary {
 public:
  enum Type : int { kInt = 0, kFloat = 1, kString = 2 };
  // Bits of ValidForms(): which forms are current.
  enum Form : int { kStringForm = 1, kFloatForm = 2, kIntForm = 4 };

  // An empty string, with all three forms valid (0, 0.0, "").
  Vary();
  Vary(const std::string& text);
  Vary(const char* text);
  // Copies only the other's own form; the others are rebuilt on demand.
  Vary(const Vary& other);
  ~Vary();

  Vary& operator=(const int& value);
  Vary& operator=(const float& value);
  Vary& operator=(const std::string& text);
  Vary& operator=(const char* text);
  Vary& operator=(const std::vector<char>& bytes);
  Vary& operator=(const Vary& other);

  // Empty string, 0 and 0.0, all valid; the type stays.
  void Clear();

  // atoi of a string; a float rounded half up (then truncated towards zero).
  int AsInt() const;
  // atof of a string; an integer converted.
  float AsFloat() const;
  // "%f" of a float, "%i" of an integer.
  const std::string& AsString() const;

  // One step in the value's type. A string cannot be incremented (logged,
  // unchanged); decrementing a string drops its last character.
  Vary& operator++();
  Vary operator++(int);
  Vary& operator--();
  Vary operator--(int);

  // Adds (numbers) or appends (strings) in this value's type.
  Vary& operator+=(const Vary& other);
  Vary& operator+=(const std::string& text);
  Vary& operator+=(const char* text);

  int GetType() const { return type_; }
  int ValidForms() const { return valid_; }

 private:
  int type_;
  mutable std::string string_;
  mutable int int_;
  mutable float float_;
  mutable int valid_;
};

// A copy of the left value with the right one added.
Vary operator+(const Vary& left, const Vary& right);
