// pugixml for builds that have none (Debian has no Windows build of it): its
// reading interface, over documents that never load. Every load fails with a
// description that says why, so that the Maya stand-in refuses a plug-in's
// fragment with a warning naming the cause; there is never a node or an
// attribute, and every query answers as pugixml does for an empty one.
#include <pugixml.hpp>

namespace pugi {

namespace {
constexpr const char_t kEmpty[] = PUGIXML_TEXT("");
}  // namespace

// ---------------------------------------------------------------------------
// Loading

xml_parse_result::xml_parse_result()
    : status(status_internal_error), offset(0), encoding(encoding_auto) {}

xml_parse_result::operator bool() const {
  return status == status_ok;
}

const char* xml_parse_result::description() const {
  return status == status_ok ? "No error"
                             : "XML documents cannot be read in this build (no pugixml)";
}

xml_document::xml_document() : _buffer(nullptr) {}

xml_document::~xml_document() {}

void xml_document::reset() {}

xml_parse_result xml_document::load_string(const char_t*, unsigned int) {
  return xml_parse_result();
}

xml_parse_result xml_document::load_file(const char*, unsigned int, xml_encoding) {
  return xml_parse_result();
}

xml_parse_result xml_document::load_buffer(const void*, size_t, unsigned int, xml_encoding) {
  return xml_parse_result();
}

xml_node xml_document::document_element() const {
  return xml_node();
}

// ---------------------------------------------------------------------------
// Attributes

static void attributeToken(xml_attribute***) {}

xml_attribute::xml_attribute() : _attr(nullptr) {}

xml_attribute::operator xml_attribute::unspecified_bool_type() const {
  return _attr ? attributeToken : nullptr;
}

bool xml_attribute::operator!() const {
  return !_attr;
}

bool xml_attribute::operator==(const xml_attribute& r) const {
  return _attr == r._attr;
}

bool xml_attribute::operator!=(const xml_attribute& r) const {
  return _attr != r._attr;
}

bool xml_attribute::empty() const {
  return !_attr;
}

const char_t* xml_attribute::name() const {
  return kEmpty;
}

const char_t* xml_attribute::value() const {
  return kEmpty;
}

const char_t* xml_attribute::as_string(const char_t* def) const {
  return def;
}

int xml_attribute::as_int(int def) const {
  return def;
}

unsigned int xml_attribute::as_uint(unsigned int def) const {
  return def;
}

double xml_attribute::as_double(double def) const {
  return def;
}

float xml_attribute::as_float(float def) const {
  return def;
}

bool xml_attribute::as_bool(bool def) const {
  return def;
}

xml_attribute xml_attribute::next_attribute() const {
  return xml_attribute();
}

xml_attribute xml_attribute::previous_attribute() const {
  return xml_attribute();
}

// ---------------------------------------------------------------------------
// Text

static void textToken(xml_text***) {}

xml_text::xml_text() : _root(nullptr) {}

xml_text::operator xml_text::unspecified_bool_type() const {
  return _root ? textToken : nullptr;
}

bool xml_text::operator!() const {
  return !_root;
}

bool xml_text::empty() const {
  return !_root;
}

const char_t* xml_text::get() const {
  return kEmpty;
}

const char_t* xml_text::as_string(const char_t* def) const {
  return def;
}

int xml_text::as_int(int def) const {
  return def;
}

unsigned int xml_text::as_uint(unsigned int def) const {
  return def;
}

double xml_text::as_double(double def) const {
  return def;
}

float xml_text::as_float(float def) const {
  return def;
}

bool xml_text::as_bool(bool def) const {
  return def;
}

// ---------------------------------------------------------------------------
// Nodes

static void nodeToken(xml_node***) {}

xml_node::xml_node() : _root(nullptr) {}

xml_node::operator xml_node::unspecified_bool_type() const {
  return _root ? nodeToken : nullptr;
}

bool xml_node::operator!() const {
  return !_root;
}

bool xml_node::operator==(const xml_node& r) const {
  return _root == r._root;
}

bool xml_node::operator!=(const xml_node& r) const {
  return _root != r._root;
}

bool xml_node::empty() const {
  return !_root;
}

xml_node_type xml_node::type() const {
  return node_null;
}

const char_t* xml_node::name() const {
  return kEmpty;
}

const char_t* xml_node::value() const {
  return kEmpty;
}

xml_attribute xml_node::first_attribute() const {
  return xml_attribute();
}

xml_attribute xml_node::last_attribute() const {
  return xml_attribute();
}

xml_node xml_node::first_child() const {
  return xml_node();
}

xml_node xml_node::last_child() const {
  return xml_node();
}

xml_node xml_node::next_sibling() const {
  return xml_node();
}

xml_node xml_node::previous_sibling() const {
  return xml_node();
}

xml_node xml_node::next_sibling(const char_t*) const {
  return xml_node();
}

xml_node xml_node::previous_sibling(const char_t*) const {
  return xml_node();
}

xml_node xml_node::parent() const {
  return xml_node();
}

xml_node xml_node::root() const {
  return xml_node();
}

xml_text xml_node::text() const {
  return xml_text();
}

xml_node xml_node::child(const char_t*) const {
  return xml_node();
}

xml_attribute xml_node::attribute(const char_t*) const {
  return xml_attribute();
}

const char_t* xml_node::child_value() const {
  return kEmpty;
}

const char_t* xml_node::child_value(const char_t*) const {
  return kEmpty;
}

xml_node xml_node::find_child_by_attribute(const char_t*, const char_t*, const char_t*) const {
  return xml_node();
}

xml_node xml_node::find_child_by_attribute(const char_t*, const char_t*) const {
  return xml_node();
}

xml_node xml_node::first_element_by_path(const char_t*, char_t) const {
  return xml_node();
}

xml_node_iterator xml_node::begin() const {
  return xml_node_iterator();
}

xml_node_iterator xml_node::end() const {
  return xml_node_iterator();
}

xml_attribute_iterator xml_node::attributes_begin() const {
  return xml_attribute_iterator();
}

xml_attribute_iterator xml_node::attributes_end() const {
  return xml_attribute_iterator();
}

xml_object_range<xml_node_iterator> xml_node::children() const {
  return xml_object_range<xml_node_iterator>(begin(), end());
}

xml_object_range<xml_named_node_iterator> xml_node::children(const char_t*) const {
  return xml_object_range<xml_named_node_iterator>(xml_named_node_iterator(),
                                                   xml_named_node_iterator());
}

xml_object_range<xml_attribute_iterator> xml_node::attributes() const {
  return xml_object_range<xml_attribute_iterator>(attributes_begin(), attributes_end());
}

// ---------------------------------------------------------------------------
// Iterators: every range is empty, so begin equals end and stepping never
// happens; a step lands on the end all the same.

xml_node_iterator::xml_node_iterator() {}

bool xml_node_iterator::operator==(const xml_node_iterator& rhs) const {
  return _wrap == rhs._wrap && _parent == rhs._parent;
}

bool xml_node_iterator::operator!=(const xml_node_iterator& rhs) const {
  return !(*this == rhs);
}

xml_node& xml_node_iterator::operator*() const {
  return _wrap;
}

xml_node* xml_node_iterator::operator->() const {
  return &_wrap;
}

xml_node_iterator& xml_node_iterator::operator++() {
  _wrap = xml_node();
  return *this;
}

xml_attribute_iterator::xml_attribute_iterator() {}

bool xml_attribute_iterator::operator==(const xml_attribute_iterator& rhs) const {
  return _wrap == rhs._wrap && _parent == rhs._parent;
}

bool xml_attribute_iterator::operator!=(const xml_attribute_iterator& rhs) const {
  return !(*this == rhs);
}

xml_attribute& xml_attribute_iterator::operator*() const {
  return _wrap;
}

xml_attribute* xml_attribute_iterator::operator->() const {
  return &_wrap;
}

xml_attribute_iterator& xml_attribute_iterator::operator++() {
  _wrap = xml_attribute();
  return *this;
}

xml_named_node_iterator::xml_named_node_iterator() : _name(nullptr) {}

bool xml_named_node_iterator::operator==(const xml_named_node_iterator& rhs) const {
  return _wrap == rhs._wrap && _parent == rhs._parent;
}

bool xml_named_node_iterator::operator!=(const xml_named_node_iterator& rhs) const {
  return !(*this == rhs);
}

xml_node& xml_named_node_iterator::operator*() const {
  return _wrap;
}

xml_node* xml_named_node_iterator::operator->() const {
  return &_wrap;
}

xml_named_node_iterator& xml_named_node_iterator::operator++() {
  _wrap = xml_node();
  return *this;
}

}  // namespace pugi
