#include "score/xml_feed.hpp"

#include <expat.h>

#include <new>
#include <string>

namespace score {

struct XmlFeed::Parser {
  XML_Parser expat = nullptr;
  XmlHandler* handler = nullptr;
  XmlFeed* feed = nullptr;
};

namespace {

using Parser = XmlFeed::Parser;

// The parser holds a tag, comment or declaration whole until its end: one
// past this size is built to take memory, never written by a score editor.
constexpr long long kLongestHeld = 16LL << 20;

void on_start(void* data, const XML_Char* name, const XML_Char** attributes) {
  static_cast<Parser*>(data)->handler->start(name, attributes);
}

void on_end(void* data, const XML_Char* name) {
  static_cast<Parser*>(data)->handler->end(name);
}

void on_text(void* data, const XML_Char* text, int length) {
  static_cast<Parser*>(data)->handler->text(std::string_view(text, static_cast<std::size_t>(length)));
}

// A score has no use for entities of its own; one that declares them may be
// built to expand without end, so it is refused at the first declaration.
void on_entity_declaration(void* data, const XML_Char* name, int /*parameter*/, const XML_Char* /*value*/,
                           int /*length*/, const XML_Char* /*base*/, const XML_Char* /*system*/,
                           const XML_Char* /*public_id*/, const XML_Char* /*notation*/) {
  auto* parser = static_cast<Parser*>(data);
  parser->feed->stop(std::to_string(XML_GetCurrentLineNumber(parser->expat)) + ":" +
                     std::to_string(XML_GetCurrentColumnNumber(parser->expat) + 1) + ": entity \"" + name +
                     "\" declared: a score declares no entities of its own");
}

}  // namespace

XmlFeed::XmlFeed(XmlHandler& handler) : parser_(new Parser) {
  parser_->expat = XML_ParserCreate(nullptr);
  if (parser_->expat == nullptr) {
    delete parser_;
    throw std::bad_alloc();
  }
  parser_->handler = &handler;
  parser_->feed = this;
  XML_Parser expat = parser_->expat;
  XML_SetUserData(expat, parser_);
  XML_SetElementHandler(expat, on_start, on_end);
  XML_SetCharacterDataHandler(expat, on_text);
  XML_SetEntityDeclHandler(expat, on_entity_declaration);
  // The DOCTYPE's DTD is named by a web address: it is never fetched.
  XML_SetParamEntityParsing(expat, XML_PARAM_ENTITY_PARSING_NEVER);
}

XmlFeed::~XmlFeed() {
  XML_ParserFree(parser_->expat);
  delete parser_;
}

char* XmlFeed::buffer(std::size_t size) {
  void* room = XML_GetBuffer(parser_->expat, static_cast<int>(size));
  if (room == nullptr) {
    throw std::bad_alloc();
  }
  return static_cast<char*>(room);
}

bool XmlFeed::parse(std::size_t count, bool last) {
  if (stopped_) {
    return false;
  }
  XML_Parser expat = parser_->expat;
  fed_ += static_cast<long long>(count);
  if (XML_ParseBuffer(expat, static_cast<int>(count), last ? 1 : 0) == XML_STATUS_OK) {
    if (fed_ - XML_GetCurrentByteIndex(expat) <= kLongestHeld) {
      return true;
    }
    stopped_ = true;
    error_ = std::to_string(XML_GetCurrentLineNumber(expat)) + ":" +
             std::to_string(XML_GetCurrentColumnNumber(expat) + 1) + ": no end in the next " +
             std::to_string(kLongestHeld >> 20) +
             " MB: no score holds a single tag, comment or text that long";
    return false;
  }
  stopped_ = true;
  if (error_.empty()) {
    error_ = std::to_string(XML_GetCurrentLineNumber(expat)) + ":" +
             std::to_string(XML_GetCurrentColumnNumber(expat) + 1) + ": " +
             XML_ErrorString(XML_GetErrorCode(expat));
  }
  return false;
}

void XmlFeed::want_text(bool wanted) {
  XML_SetCharacterDataHandler(parser_->expat, wanted ? on_text : nullptr);
}

void XmlFeed::stop(std::string reason) {
  if (error_.empty()) {
    error_ = std::move(reason);
  }
  XML_StopParser(parser_->expat, XML_FALSE);
}

}  // namespace score
