// A streaming XML parser fed in chunks, with a score's safety rules: no DTD or
// external entity is ever read and a document that declares entities is
// refused, so no expansion can grow without bound.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace score {

class XmlHandler {
 public:
  XmlHandler() = default;
  XmlHandler(const XmlHandler&) = delete;
  XmlHandler& operator=(const XmlHandler&) = delete;
  virtual ~XmlHandler() = default;
  // attributes: name, value, name, value, ..., null.
  virtual void start(const char* name, const char** attributes) = 0;
  virtual void end(const char* name) = 0;
  virtual void text(std::string_view bytes) = 0;
};

class XmlFeed {
 public:
  explicit XmlFeed(XmlHandler& handler);
  XmlFeed(const XmlFeed&) = delete;
  XmlFeed& operator=(const XmlFeed&) = delete;
  ~XmlFeed();

  // Room for the next size bytes of the document, to read into directly.
  char* buffer(std::size_t size);
  // Parses the count bytes put into buffer(); last with the document's end.
  // False once the document is refused: error() says why.
  bool parse(std::size_t count, bool last);

  // Whether the handler's text() hears the text from here on. Off, the parser
  // skips reporting the indentation and text of elements nobody reads; a
  // handler turns it on only inside the elements whose text it wants.
  void want_text(bool wanted);

  // Ends the parse from inside a handler with the handler's own reason.
  void stop(std::string reason);

  // "LINE:COLUMN: what is wrong", or the reason given to stop().
  const std::string& error() const { return error_; }

  // The parser's state, which its callbacks reach.
  struct Parser;

 private:
  Parser* parser_;
  std::string error_;
  bool stopped_ = false;
  long long fed_ = 0;  // bytes given to the parser so far
};

}  // namespace score
