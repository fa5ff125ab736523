// Objects that log their destruction, for the tests of collections that own
// (or must not own) what they hold.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace support_test {

// prefix + number, built by appending: GCC 12 warns falsely on "k" + std::to_string(i).
inline std::string Numbered(const char* prefix, int number) {
  std::string text = prefix;
  text += std::to_string(number);
  return text;
}

// Every destruction logged by id, in order.
struct DestroyLog {
  std::vector<int> order;
  void Destroyed(int id) { order.push_back(id); }
  // How often the object of that id was destroyed: exactly once, or not at all.
  int Of(int id) const { return static_cast<int>(std::count(order.begin(), order.end(), id)); }
  int Total() const { return static_cast<int>(order.size()); }
};

template <typename Base>
class Counted : public Base {
 public:
  Counted(DestroyLog& log, int id) : log_(log), id_(id) {}
  ~Counted() override { log_.Destroyed(id_); }
  int Id() const { return id_; }

 private:
  DestroyLog& log_;
  int id_;
};

}  // namespace support_test
