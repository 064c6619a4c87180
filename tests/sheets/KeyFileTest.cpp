// A key file read from a stream: the size bound (a key is one line; a larger file is not a
// key, and is refused before it fills the memory), and a stream that fails.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>

#include "sheets/ResponseSheet.h"

namespace veltrano {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

TEST(ReadKeyFile, TakesUpToTheBoundAndRefusesMore) {
  // The key, then blank lines up to the bound: still a key.
  std::string atBound = "ABDCA\n";
  atBound.resize(kMaxKeyFile, '\n');
  std::istringstream in(atBound);
  EXPECT_EQ(ReadKeyFile(in).positions, (std::vector<Mark>{1, 2, 4, 3, 1}));

  std::istringstream beyond(atBound + "\n");
  EXPECT_THAT([&] { ReadKeyFile(beyond); },
              ThrowsMessage<SheetFormatError>(StrEq("more than 1048576 bytes; this is not a key")));
}

// A stream whose device fails after a few bytes.
class FailingBuffer : public std::streambuf {
protected:
  int_type underflow() override {
    if (served_) throw std::runtime_error("device gone");
    served_ = true;
    setg(text_, text_, text_ + 3);
    return traits_type::to_int_type(text_[0]);
  }

private:
  char text_[4] = "ABC";
  bool served_ = false;
};

TEST(ReadKeyFile, AFailingStreamIsAReadError) {
  FailingBuffer buffer;
  std::istream in(&buffer);
  EXPECT_THAT([&] { ReadKeyFile(in); }, ThrowsMessage<SheetReadError>(StrEq("read error")));
}

}  // namespace
}  // namespace veltrano
