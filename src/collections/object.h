// The root of the classes that the hash tables and object collections hold.
// Objects of these classes live by reference: a container may destroy what it
// holds through the virtual destructor, and messages name an object's class.
#pragma once

namespace support {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  // The class name as messages show it ("tString", "tHashEntry"); a derived
  // class that messages may name overrides it.
  virtual const char* ClassName() const { return "TObject"; }
};

}  // namespace support
