// ProductConfig: which product this copy of the assistant installs.
//
// Read once at start-up from resources/config.json, inside the embedded
// resource archive when it is open, else beside the executable. The file is
// a JSON object whose "product", "channel", "name" and "intro" strings fill
// the fields; a key that is missing or not a string (or not valid UTF-8)
// leaves its field as it was. One process-wide instance (Instance()), created
// empty on first use; UI thread only.
#pragma once

#include <string>

class ProductConfig {
 public:
  static ProductConfig& Instance();

  // Stores |directory| (the executable's folder, ending in a separator) and
  // reads the file. False when the text is empty or is not JSON; true
  // otherwise, also when keys are missing.
  bool Load(const std::wstring& directory);

  const std::wstring& directory() const { return directory_; }
  const std::wstring& product() const { return product_; }
  const std::wstring& channel() const { return channel_; }
  const std::wstring& name() const { return name_; }
  const std::wstring& intro() const { return intro_; }

 private:
  std::string ReadText() const;

  std::wstring directory_;
  std::wstring product_;
  std::wstring channel_;
  std::wstring name_;
  std::wstring intro_;
};
