// The store itself: sections in a hash map under a reader/writer lock, and
// the loading of sections from a configuration document.
#include "common/configuration.h"

#include <mutex>
#include <new>
#include <shared_mutex>
#include <unordered_map>

#include "common/configuration_xml_internal.h"
#include "platform/text.h"

namespace Tavrin {

using Platform::narrow_low8;

// Internal to the library, although nested in an exported class.
class __attribute__((visibility("hidden"))) Configuration::Impl {
 public:
  Impl() = default;
  // The lock is not copied: a copy has a lock of its own.
  Impl(const Impl& other) : sections_(other.sections_) {}
  Impl& operator=(const Impl&) = delete;

  void Load(const std::wstring& path, const std::deque<std::wstring>* wanted);
  const Element& Parameter(const std::wstring& section, const std::wstring& id) const;
  void InsertParameter(const std::wstring& section, const std::wstring& id, const Element& element);

 private:
  void LoadSections(const pugi::xml_document& doc, const std::deque<std::wstring>* wanted);

  mutable std::shared_mutex lock_;
  std::unordered_map<std::wstring, config_xml::Section> sections_;
};

Configuration::ConfigurationError::ConfigurationError(const std::string& message)
    : std::runtime_error(message) {}
Configuration::SectionNotFoundError::SectionNotFoundError(const std::string& message)
    : ConfigurationError(message) {}
Configuration::ParameterNotFoundError::ParameterNotFoundError(const std::string& message)
    : ConfigurationError(message) {}
Configuration::WrongTypeError::WrongTypeError(const std::string& message) : ConfigurationError(message) {}
Configuration::EmptyElementError::EmptyElementError(const std::string& message)
    : ConfigurationError(message) {}

// `wanted` null loads every section of the file.
void Configuration::Impl::Load(const std::wstring& path, const std::deque<std::wstring>* wanted) {
  std::unique_lock guard(lock_);
  pugi::xml_document doc;
  try {
    config_xml::load_document(path, doc);
  } catch (const std::exception& e) {
    if (wanted != nullptr) throw ConfigurationError(std::string("Unable to parse XML file. ") + e.what());
    throw ConfigurationError("Unable to load XML file");
  } catch (const config_xml::ReaderFailure&) {
    throw ConfigurationError("Unable to load XML file");
  }
  try {
    LoadSections(doc, wanted);
  } catch (const std::exception& e) {
    throw ConfigurationError(std::string("Unable to parse XML file. ") + e.what());
  } catch (const config_xml::MalformedDocument&) {
    throw ConfigurationError("Unable to parse XML file, file maybe corrupted or wrong format");
  }
}

// Sections already in the store stay as they are; the new one of the same id
// is dropped. Sections inserted before a failure stay.
void Configuration::Impl::LoadSections(const pugi::xml_document& doc, const std::deque<std::wstring>* wanted) {
  const pugi::xml_node config = config_xml::config_element(doc);
  const std::deque<std::wstring> ids = wanted != nullptr ? *wanted : config_xml::section_ids(config);
  for (const std::wstring& id : ids) {
    config_xml::Section section = config_xml::read_section(config, id);
    sections_.try_emplace(id, std::move(section));
  }
}

const Configuration::Element& Configuration::Impl::Parameter(const std::wstring& section,
                                                             const std::wstring& id) const {
  std::shared_lock guard(lock_);
  const auto found_section = sections_.find(section);
  if (found_section == sections_.end()) {
    throw SectionNotFoundError("Unable to find section: " + narrow_low8(section));
  }
  const auto found = found_section->second.find(id);
  if (found == found_section->second.end()) {
    throw ParameterNotFoundError("Unable to find parameter: " + narrow_low8(id) +
                                 ", in section: " + narrow_low8(section));
  }
  return found->second;
}

// The copy of `element` is made before anything changes, so a failure leaves
// an existing parameter as it was.
void Configuration::Impl::InsertParameter(const std::wstring& section, const std::wstring& id,
                                          const Element& element) {
  Element copy = element;
  std::unique_lock guard(lock_);
  auto found_section = sections_.find(section);
  if (found_section == sections_.end()) {
    try {
      found_section = sections_.try_emplace(section).first;
    } catch (const std::bad_alloc&) {
      throw ConfigurationError("Can't insert new section.");
    }
  }
  config_xml::Section& parameters = found_section->second;
  if (const auto found = parameters.find(id); found != parameters.end()) {
    found->second = std::move(copy);
    return;
  }
  try {
    parameters.try_emplace(id, std::move(copy));
  } catch (const std::bad_alloc&) {
    throw ConfigurationError("Can't insert new paramter.");
  }
}

Configuration::Configuration() : impl_(std::make_unique<Impl>()) {}

Configuration::Configuration(const Configuration& other) : impl_(std::make_unique<Impl>(*other.impl_)) {}

const Configuration& Configuration::operator=(const Configuration& other) {
  auto copy = std::make_unique<Impl>(*other.impl_);
  impl_.swap(copy);
  return *this;
}

Configuration::~Configuration() = default;

void Configuration::Swap(Configuration& other) noexcept { impl_.swap(other.impl_); }

void Configuration::Load(const std::wstring& path) { impl_->Load(path, nullptr); }

void Configuration::Load(const std::wstring& path, const std::deque<std::wstring>& sections) {
  impl_->Load(path, &sections);
}

const Configuration::Element& Configuration::Parameter(const std::wstring& section,
                                                       const std::wstring& id) const {
  return impl_->Parameter(section, id);
}

void Configuration::InsertParameter(const std::wstring& section, const std::wstring& id,
                                    const Element& element) {
  impl_->InsertParameter(section, id, element);
}

void swap(Configuration& a, Configuration& b) noexcept { a.Swap(b); }

}  // namespace Tavrin
