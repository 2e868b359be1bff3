#pragma once
// The calling contract of the message decoding plug-in ("Sorvane.dll",
// libSorvane.so here). The plug-in exports GetSorvaneInterface; Groundkit loads
// it by name, hands it a message file and copies the part files it decoded.
// Only plain types cross this boundary.

struct ISorvanePart {
  // Non-zero when the part carries a file name of its own.
  virtual int HasOwnName() = 0;
  // Writes the path of the part's decoded file (zero-terminated, at most size
  // bytes with the zero). 0 when there is none or it does not fit.
  virtual int GetDecodedFile(char* path, unsigned long size) = 0;

 protected:
  ~ISorvanePart() = default;
};

struct ISorvaneInterface {
  virtual unsigned long AddRef() = 0;
  virtual int GetVersion() = 0;
  // The parts of the loaded message in message order; valid until Finish. 0 on
  // failure.
  virtual int GetPartList(ISorvanePart* const** parts, unsigned long* count) = 0;
  // Parses the message file and decodes its parts into files of the plug-in's
  // own. 0 on failure.
  virtual int LoadMessage(const char* messagePath, int flags) = 0;
  // Drops the parts and their decoded files.
  virtual int Finish() = 0;
  virtual void Release() = 0;

 protected:
  ~ISorvaneInterface() = default;
};

// Exported by the plug-in under this name; non-zero with *out set on success.
typedef int (*GetSorvaneInterfaceFunction)(ISorvaneInterface** out);
