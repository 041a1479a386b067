// The exceptions of our class library. Each carries the exact message that the
// user sees in the error box; the system's own code raises them and catches none.
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// Messages with a %s take the path concerned.
inline constexpr char SFOpenError[] = "Cannot open file %s";
inline constexpr char SFCreateError[] = "Cannot create file %s";
inline constexpr char SReadError[] = "Stream read error";
inline constexpr char SWriteError[] = "Stream write error";
inline constexpr char SInvalidBitmap[] = "Bitmap image is not valid";
inline constexpr char SInvalidPixelFormat[] = "Invalid pixel format";
inline constexpr char SCannotCreateDir[] = "Unable to create directory";
inline constexpr char SFailedToSaveStream[] = "Failed to Save Stream";

// Replaces every "%s" of fmt by arg; no other conversions.
std::string Format(const std::string& fmt, const std::string& arg);

// How an error is shown to the user: the message with a full stop appended,
// unless it is empty or ends in "." or in a character that sorts before "."
// (such as "!" or a space).
std::string ErrorBoxText(const std::string& message);

class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

class EFOpenError : public EStreamError {
 public:
  explicit EFOpenError(const std::string& path) : EStreamError(Format(SFOpenError, path)) {}
};

class EFCreateError : public EStreamError {
 public:
  explicit EFCreateError(const std::string& path) : EStreamError(Format(SFCreateError, path)) {}
};

class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError(SReadError) {}
};

class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError(SWriteError) {}
};

class EInvalidGraphic : public Exception {
 public:
  EInvalidGraphic() : Exception(SInvalidBitmap) {}
};

class EInvalidGraphicOperation : public Exception {
 public:
  explicit EInvalidGraphicOperation(const std::string& message = SInvalidPixelFormat)
      : Exception(message) {}
};

class EInOutError : public Exception {
 public:
  using Exception::Exception;
};

// Raised by the converter for inputs it refuses before anything is written.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace platform
