// Cached copies of domain and account records read from their files. A copy
// is current while its file keeps the time stamp it had. File time stamps are
// coarse (a file changed twice within one tick of the file system's clock
// keeps its stamp), so a file changed in the last seconds is not cached.
#pragma once

#include "collections/object_collections.h"
#include "platform/clock.h"
#include "serverconfig/fixed_record.h"

namespace serverconfig {

class TRecordCacheObject : public support::TExpireObject {
 public:
  TRecordCacheObject(const TFixedRecord& record, double fileStamp)
      : Record(record), FileStamp(fileStamp) {
    Touch();
  }
  // Whether the file still has the time stamp it had when the copy was made.
  bool IsCurrent(double fileStamp) const { return fileStamp != 0 && fileStamp == FileStamp; }

  // Whether a file with this stamp has been left alone long enough to cache it.
  static bool Settled(double fileStamp) {
    constexpr double kSettleDays = 2.0 / 86400;
    return fileStamp != 0 && platform::Now() - fileStamp > kSettleDays;
  }

  TFixedRecord Record;
  double FileStamp;
};

class TDomainCacheObject : public TRecordCacheObject {
 public:
  using TRecordCacheObject::TRecordCacheObject;
  const char* ClassName() const override { return "TDomainCacheObject"; }
};

class TAccountCacheObject : public TRecordCacheObject {
 public:
  TAccountCacheObject(const TFixedRecord& record, double fileStamp, int index)
      : TRecordCacheObject(record, fileStamp), Index(index) {}
  const char* ClassName() const override { return "TAccountCacheObject"; }

  int Index;
};

}  // namespace serverconfig
