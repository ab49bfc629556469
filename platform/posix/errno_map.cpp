#include "platform/posix/errno_map.h"

#include <cerrno>

uint16_t DosCodeFromErrno(int error, IoKind kind, bool onTheWay) {
  switch (error) {
    case 0:
      return 0;
    case ENOENT:
      return onTheWay ? 3 : 2;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EEXIST:
    case EISDIR:
    case EBUSY:
    case ETXTBSY:
      return 5;
    case EBADF:
      return 6;
    case ENOMEM:
      return 8;
    case EXDEV:
      return 17;
    case EIO:
      if (kind == IoKind::Read) return 100;
      return kind == IoKind::Write ? 101 : 5;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return 101;
    case EROFS:
      return 150;
    case ENXIO:
    case ENODEV:
      return 152;
    default:
      switch (kind) {
        case IoKind::Read:
          return 100;
        case IoKind::Write:
          return 101;
        case IoKind::Other:
          return 5;
      }
  }
  return 5;
}
