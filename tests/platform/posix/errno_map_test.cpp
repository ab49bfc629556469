#include "platform/posix/errno_map.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

struct Case {
  int error;
  IoKind kind;
  bool onTheWay;
  uint16_t code;
};

TEST(DosCodeFromErrno, MapsEveryErrnoExplicitly) {
  constexpr IoKind R = IoKind::Read, W = IoKind::Write, O = IoKind::Other;
  const Case cases[] = {
      {0, O, false, 0},
      {ENOENT, O, false, 2},
      {ENOENT, R, false, 2},
      {ENOENT, O, true, 3},  // a directory on the way
      {ENOTDIR, O, false, 3},
      {ELOOP, O, false, 3},
      {ENAMETOOLONG, W, false, 3},
      {EMFILE, O, false, 4},
      {ENFILE, O, false, 4},
      // Access denied whatever the operation, never a read or write error.
      {EACCES, O, false, 5},
      {EACCES, W, false, 5},
      {EPERM, R, false, 5},
      {EEXIST, O, false, 5},
      {EISDIR, R, false, 5},
      {EBUSY, O, false, 5},
      {ETXTBSY, W, false, 5},
      {EBADF, R, false, 6},
      {ENOMEM, O, false, 8},
      {EXDEV, O, false, 17},
      {EIO, R, false, 100},
      {EIO, W, false, 101},
      {EIO, O, false, 5},
      {ENOSPC, W, false, 101},
      {ENOSPC, O, false, 101},
      {EDQUOT, W, false, 101},
      {EFBIG, W, false, 101},
      {EROFS, O, false, 150},
      {EROFS, W, false, 150},
      {ENXIO, O, false, 152},
      {ENODEV, R, false, 152},
      // Anything else: by the kind of operation.
      {EINVAL, R, false, 100},
      {EINVAL, W, false, 101},
      {EINVAL, O, false, 5},
      {EAGAIN, R, false, 100},
      {EOPNOTSUPP, O, false, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::strerror(c.error) << ", kind "
                                      << static_cast<int>(c.kind) << ", on the way " << c.onTheWay);
    EXPECT_EQ(DosCodeFromErrno(c.error, c.kind, c.onTheWay), c.code);
  }
}

}  // namespace
