// netrc lookup and the installed prompt.
#include "net/internet_service/credential_provider.h"

#include <strings.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace qx::inet {
namespace {

std::mutex g_prompt_mutex;
CredentialPrompt g_prompt;

std::string NetrcPath() {
  if (const char* path = std::getenv("NETRC"); path != nullptr && *path != '\0') return path;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::string(home) + "/.netrc";
  }
  return std::string();
}

bool AlreadyOffered(const Credentials& candidate, const std::vector<Credentials>& offered) {
  for (const Credentials& earlier : offered) {
    if (earlier.user == candidate.user && earlier.password == candidate.password) return true;
  }
  return false;
}

}  // namespace

void SetCredentialPrompt(CredentialPrompt prompt) {
  std::lock_guard<std::mutex> lock(g_prompt_mutex);
  g_prompt = std::move(prompt);
}

std::optional<Credentials> LookUpNetrc(const std::string& host) {
  const std::string path = NetrcPath();
  if (path.empty()) return std::nullopt;
  std::ifstream file(path);
  if (!file) return std::nullopt;

  // Tokens of the file, with "macdef" bodies (up to an empty line) skipped.
  std::vector<std::string> tokens;
  std::string line;
  bool inMacro = false;
  while (std::getline(file, line)) {
    if (inMacro) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) inMacro = false;
      continue;
    }
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
      if (word == "macdef") {
        inMacro = true;
        break;
      }
      tokens.push_back(word);
    }
  }

  std::optional<Credentials> matched;
  std::optional<Credentials> fallback;
  std::optional<Credentials>* current = nullptr;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    const bool hasValue = i + 1 < tokens.size();
    if (token == "machine" && hasValue) {
      const std::string& name = tokens[++i];
      current = (!matched && strcasecmp(name.c_str(), host.c_str()) == 0) ? &matched : nullptr;
      if (current) *current = Credentials{};
    } else if (token == "default") {
      current = fallback ? nullptr : &fallback;
      if (current) *current = Credentials{};
    } else if ((token == "login" || token == "user") && hasValue) {
      ++i;
      if (current) (*current)->user = tokens[i];
    } else if ((token == "password" || token == "passwd") && hasValue) {
      ++i;
      if (current) (*current)->password = tokens[i];
    } else if (token == "account" && hasValue) {
      ++i;
    }
  }
  if (matched && !matched->user.empty()) return matched;
  if (fallback && !fallback->user.empty()) return fallback;
  return std::nullopt;
}

std::optional<Credentials> NextCredentials(const CredentialQuery& query,
                                           std::vector<Credentials>& offered) {
  if (!query.proxy) {
    if (auto fromNetrc = LookUpNetrc(query.host);
        fromNetrc && !AlreadyOffered(*fromNetrc, offered)) {
      offered.push_back(*fromNetrc);
      return fromNetrc;
    }
  }
  CredentialPrompt prompt;
  {
    std::lock_guard<std::mutex> lock(g_prompt_mutex);
    prompt = g_prompt;
  }
  if (!prompt) return std::nullopt;
  Credentials answer;
  if (!prompt(query, answer) || AlreadyOffered(answer, offered)) return std::nullopt;
  offered.push_back(answer);
  return answer;
}

}  // namespace qx::inet
