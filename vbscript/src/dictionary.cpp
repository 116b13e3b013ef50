#include "dictionary.h"

#include <cctype>
#include <unordered_map>

#include "errors.h"

namespace ralvek::vbscript {

namespace {

constexpr int kKeyExists = 457;
constexpr int kElementNotFound = 32811;

class Dictionary : public Object {
 public:
  ~Dictionary() override {
    std::vector<Value> all;
    all.reserve(entries_.size() * 2);
    for (auto& e : entries_) {
      all.push_back(std::move(e.first));
      all.push_back(std::move(e.second));
    }
    release_later(std::move(all));
  }
  std::string_view type_name() const override { return "Dictionary"; }

  Value call(std::string_view m, std::vector<Value>& args) override {
    if (m == "count") return Value::long_(static_cast<std::int32_t>(entries_.size()));
    if (m == "comparemode") return Value::long_(text_ ? 1 : 0);
    if (m == "exists") return Value::boolean(index_.count(key_of(arg(args, 0))) > 0);
    if (m == "item" || m.empty()) {
      std::string k = key_of(arg(args, 0));
      auto it = index_.find(k);
      if (it != index_.end()) return entries_[it->second].second;
      // Reading a missing key adds it, as in VBScript.
      add(k, arg(args, 0), Value());
      return Value();
    }
    if (m == "add") {
      std::string k = key_of(arg(args, 0));
      if (index_.count(k))
        raise(kKeyExists, "This key is already associated with an element of this collection");
      add(k, arg(args, 0), arg(args, 1));
      return Value();
    }
    if (m == "keys" || m == "items") {
      auto arr = std::make_shared<Array>();
      arr->upper.push_back(static_cast<std::int32_t>(entries_.size()) - 1);
      for (const auto& e : entries_) arr->items.push_back(m == "keys" ? e.first : e.second);
      return Value::array(std::move(arr));
    }
    if (m == "remove") {
      auto it = index_.find(key_of(arg(args, 0)));
      if (it == index_.end()) raise(kElementNotFound, "Element not found");
      entries_.erase(entries_.begin() + static_cast<long>(it->second));
      reindex();
      return Value();
    }
    if (m == "removeall") {
      entries_.clear();
      index_.clear();
      return Value();
    }
    return Object::call(m, args);
  }

  void assign(std::string_view m, std::vector<Value>& args, const Value& value) override {
    if (m == "item" || m.empty()) {
      std::string k = key_of(arg(args, 0));
      auto it = index_.find(k);
      if (it != index_.end())
        entries_[it->second].second = value;
      else
        add(k, arg(args, 0), value);
      return;
    }
    if (m == "key") {
      std::string k = key_of(arg(args, 0));
      auto it = index_.find(k);
      if (it == index_.end()) raise(kElementNotFound, "Element not found");
      std::string nk = key_of(value);
      if (index_.count(nk))
        raise(kKeyExists, "This key is already associated with an element of this collection");
      entries_[it->second].first = value;
      reindex();
      return;
    }
    if (m == "comparemode") {
      if (!entries_.empty()) raise(err::kInvalidCall);
      text_ = to_long(value) == 1;
      return;
    }
    Object::assign(m, args, value);
  }

  std::vector<Value> elements() override {
    std::vector<Value> keys;
    for (const auto& e : entries_) keys.push_back(e.first);
    return keys;
  }

 private:
  static const Value& arg(const std::vector<Value>& args, std::size_t i) {
    if (i >= args.size()) raise(err::kWrongArgCount);
    return args[i];
  }

  // Keys compare by kind and value: 1 and "1" are different keys; text mode ignores case.
  std::string key_of(const Value& v) const {
    if (v.is_object())
      return "o:" + std::to_string(reinterpret_cast<std::uintptr_t>(v.as_object().get()));
    if (v.is_array()) raise(err::kTypeMismatch);
    if (v.is_string()) {
      std::string s = to_std(v.as_string_raw());
      if (text_)
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return "s:" + s;
    }
    if (v.is_empty()) return "e:";
    if (v.is_null()) return "z:";
    return "n:" + format_double(to_double(v));
  }

  void add(const std::string& k, const Value& key, const Value& item) {
    index_[k] = entries_.size();
    entries_.emplace_back(key, item);
  }

  void reindex() {
    index_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) index_[key_of(entries_[i].first)] = i;
  }

  std::vector<std::pair<Value, Value>> entries_;
  std::unordered_map<std::string, std::size_t> index_;
  bool text_ = false;
};

}  // namespace

ObjectRef make_dictionary() {
  return std::make_shared<Dictionary>();
}

}  // namespace ralvek::vbscript
