#pragma once

#include "postwell/export.h"

// The failure record of the sending engine. A reporter zeroes it, names itself in szSource and
// describes the failure in szDescription; the record is valid only during the sink's call.
struct tagDeviceException {
  int nCode;
  char szDescription[255];
  char szSource[128];
};

// Where the sending engine's parts report their failures.
class POSTWELL_API IDeviceException {
 public:
  virtual void OnDeviceException(tagDeviceException* exception) = 0;

 protected:
  ~IDeviceException() = default;
};
