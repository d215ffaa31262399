// The integer, float or string value with lazily converted forms.
#include "Vary.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "LogFile.h"

namespace {

// atoi as the Windows runtime does it: out-of-range texts saturate (rather
// than wrapping differently per platform).
int TextToInt(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

float Narrow(double value) {
  if (value > 3.4028234663852886e38) return HUGE_VALF;
  if (value < -3.4028234663852886e38) return -HUGE_VALF;
  return static_cast<float>(value);
}

// The float plus 0.5, truncated; out of range (and NaN) gives what the
// processor's conversion gives, the integer 0x80000000.
int RoundHalfUp(float value) {
  double shifted = static_cast<double>(value) + 0.5;
  if (!(shifted > -2147483649.0 && shifted < 2147483648.0)) return INT_MIN;
  return static_cast<int>(shifted);
}

}  // namespace

Vary::Vary() : type_(kString), int_(0), float_(0.0f), valid_(kStringForm | kFloatForm | kIntForm) {}

Vary::Vary(const std::string& text) : type_(kString), string_(text), int_(0), float_(0.0f), valid_(kStringForm) {}

Vary::Vary(const char* text)
    : type_(kString), string_(text ? text : ""), int_(0), float_(0.0f), valid_(kStringForm) {}

Vary::Vary(const Vary& other) : Vary() { *this = other; }

Vary::~Vary() {}

Vary& Vary::operator=(const int& value) {
  type_ = kInt;
  int_ = value;
  valid_ = kIntForm;
  return *this;
}

Vary& Vary::operator=(const float& value) {
  type_ = kFloat;
  float_ = value;
  valid_ = kFloatForm;
  return *this;
}

Vary& Vary::operator=(const std::string& text) {
  type_ = kString;
  string_ = text;
  valid_ = kStringForm;
  return *this;
}

Vary& Vary::operator=(const char* text) { return *this = std::string(text ? text : ""); }

Vary& Vary::operator=(const std::vector<char>& bytes) { return *this = std::string(bytes.begin(), bytes.end()); }

Vary& Vary::operator=(const Vary& other) {
  if (this == &other) return *this;
  switch (other.type_) {
    case kInt:
      return *this = other.int_;
    case kFloat:
      return *this = other.float_;
    default:
      return *this = other.string_;
  }
}

void Vary::Clear() {
  string_.clear();
  int_ = 0;
  float_ = 0.0f;
  valid_ = kStringForm | kFloatForm | kIntForm;
}

int Vary::AsInt() const {
  if (!(valid_ & kIntForm)) {
    int_ = type_ == kString ? TextToInt(string_.c_str()) : RoundHalfUp(float_);
    valid_ |= kIntForm;
  }
  return int_;
}

float Vary::AsFloat() const {
  if (!(valid_ & kFloatForm)) {
    float_ = type_ == kString ? Narrow(std::atof(string_.c_str())) : static_cast<float>(int_);
    valid_ |= kFloatForm;
  }
  return float_;
}

const std::string& Vary::AsString() const {
  if (!(valid_ & kStringForm)) {
    char buffer[64];
    if (type_ == kFloat) {
      std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(float_));
    } else {
      std::snprintf(buffer, sizeof buffer, "%i", int_);
    }
    string_ = buffer;
    valid_ |= kStringForm;
  }
  return string_;
}

Vary& Vary::operator++() {
  if (type_ == kInt) {
    return *this = static_cast<int>(static_cast<unsigned>(int_) + 1u);
  } else if (type_ == kFloat) {
    return *this = float_ + 1.0f;
  }
  ErrorLog << "Warning: undefined operation on a Vary as type string: increment.\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
  return *this;
}

Vary Vary::operator++(int) {
  Vary before(*this);
  ++*this;
  return before;
}

Vary& Vary::operator--() {
  if (type_ == kInt) {
    return *this = static_cast<int>(static_cast<unsigned>(int_) - 1u);
  } else if (type_ == kFloat) {
    return *this = float_ - 1.0f;
  }
  if (!string_.empty()) {
    string_.pop_back();
    // The number forms were read from the longer text.
    valid_ = kStringForm;
  }
  return *this;
}

Vary Vary::operator--(int) {
  Vary before(*this);
  --*this;
  return before;
}

Vary& Vary::operator+=(const Vary& other) {
  if (type_ == kString) {
    string_ += other.AsString();
    valid_ = kStringForm;
  } else if (type_ == kFloat) {
    float_ += other.AsFloat();
    valid_ = kFloatForm;
  } else {
    int_ = static_cast<int>(static_cast<unsigned>(int_) + static_cast<unsigned>(other.AsInt()));
    valid_ = kIntForm;
  }
  return *this;
}

Vary& Vary::operator+=(const std::string& text) {
  if (type_ == kString) {
    string_ += text;
    valid_ = kStringForm;
    return *this;
  }
  return *this += Vary(text);
}

Vary& Vary::operator+=(const char* text) { return *this += std::string(text ? text : ""); }

Vary operator+(const Vary& left, const Vary& right) {
  Vary sum(left);
  sum += right;
  return sum;
}
