#pragma once
// Reader for the text registry file of a Wine prefix (system.reg). It checks
// every line the way Wine's own loader reads it and hands the key blocks and
// the keys' unnamed values to a handler; named values, key options and
// comments are validated and dropped.
//
// The file: the signature line, a preamble (comments, "#arch="), then key
// blocks, each a "[Path\\To\\Key] <time>" line followed by "#" options and
// value lines; hex data may continue over lines ending in a backslash.
// Keys that only have subkeys get no block of their own.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "registry/store/Store.h"

namespace comsweep::registry {

class WineRegParser {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    // A key block starts at byte `offset` of the text; the blank lines that
    // separate it from what precedes it belong to it. `levels` are the key's
    // names below the machine key, UTF-8, none of them empty; no levels is
    // the machine key itself. The views die with the call.
    virtual void keyBlock(std::size_t offset, const std::vector<std::string_view>& levels) = 0;
    // The unnamed value of the current block's key. String types carry
    // UTF-16LE bytes with their terminating NUL, as Wine loads them.
    virtual void defaultValue(RegValue value) = 0;
    // What parse() reports instead for an unnamed value given as a quoted
    // string: its type and the text between the quotes as the file spells it
    // (already checked; decodeQuoted() gives the data). By default it is
    // decoded here and passed on to defaultValue().
    virtual void defaultSpelling(DWORD type, std::string_view quoted);
    // Any other value of that key (UTF-8 name); reported by parseBlocks only.
    virtual void namedValue(std::string_view name, RegValue value) {
      static_cast<void>(name);
      static_cast<void>(value);
    }
  };

  struct Error {
    std::size_t line = 0;  // 1-based
    std::string reason;
  };

  // Where the reader is in the file; defined with the transition table.
  enum class State : unsigned char;

  // Whose keys the file holds: the machine's (system.reg) or a user's
  // (user.reg, keys relative to \User\<SID>).
  enum class Owner : unsigned char { Machine, User };

  explicit WineRegParser(Handler& handler, Owner owner = Owner::Machine)
      : m_handler(handler), m_owner(owner) {}

  // Parses all of `text`; false with `error` set at the first malformed line.
  bool parse(std::string_view text, Error& error);
  // Parses key blocks cut from a text that parse() accepted (no signature
  // line before them), reporting the named values too.
  bool parseBlocks(std::string_view blocks, Error& error);

  // A text read in two parts at once. parseUntil() reads text[0, cut) as
  // parse() reads the start of the text; it leaves off where the part from
  // `cut` on can be read by another parser's parsePart() exactly as this one
  // would go on (splitsAt() true: no value goes on over the cut and no
  // blank lines before it are pending), or else parseOn()
  // reads on to the end. A part's error lines count from `from`: add
  // linesRead() of the parser of the text before.
  bool parseUntil(std::string_view text, std::size_t cut, Error& error);
  bool splitsAt() const;
  bool parseOn(std::string_view text, Error& error);
  bool parsePart(std::string_view text, std::size_t from, Error& error);
  std::size_t linesRead() const { return m_lines; }
  // Where text[from, ...) could be cut for parsePart(): before the first key
  // line after `from` and the blank lines of its block, where the line
  // before them does not end in a backslash (a comment's, or hex data
  // going on); text.size() when there is none.
  static std::size_t cutPoint(std::string_view text, std::size_t from);

  // The data of a string value from the text between its quotes: UTF-16LE
  // with the terminating NUL, as Wine loads it.
  static void decodeQuoted(std::string_view quoted, std::string& data);
  // The same as 8-bit text with one NUL, when the text is plain ASCII whose
  // only escapes are those of a backslash or a quote; false otherwise.
  static bool decodeQuotedAscii(std::string_view quoted, std::string& text);

 private:
  bool checkSignature(std::string_view line);
  bool preambleComment(std::string_view line);
  bool globalOption(std::string_view line);
  bool keyOption(std::string_view line);
  bool startKey(std::string_view line, std::size_t offset);
  // The levels of a key line whose name has escapes other than the doubled
  // backslash between levels, or bytes above 127; sets `rest` to what
  // follows the closing bracket, and `nul` to whether a level holds a NUL.
  bool escapedKeyLevels(std::string_view line, std::string_view& rest, bool& nul);
  // False, with the reason set, for a key no registry can hold: nested too
  // deep, or a level named longer than a key name may be.
  bool withinLimits();
  bool value(std::string_view line, State& next);
  bool hexData(std::string_view rest, State& next);
  bool fail(std::string reason);
  // Reads the lines of text[from, to), `from` a line start, going on from
  // the state the last call left; `last` adds the checks of the text's end.
  bool run(std::string_view text, std::size_t from, std::size_t to, Error& error, bool last);
  void reset(State start);
  void deliver(RegValue value);

  Handler& m_handler;
  Owner m_owner;
  State m_state{};
  std::size_t m_blankRun = 0;  // where the blank lines just read began, or npos
  std::size_t m_lines = 0;     // lines read
  std::size_t m_pos = 0;       // where the last run() left off
  Error* m_error = nullptr;
  std::vector<std::string_view> m_levels;
  std::u16string m_units;      // scratch for unescaped text
  std::string m_scratch;       // scratch for names that need converting
  bool m_namedValues = false;  // report named values too
  // The value being read: whether it is the unnamed one, whether it is
  // reported, its name, and for hex data its type and the bytes so far.
  bool m_valueIsDefault = false;
  bool m_valueWanted = false;
  std::string m_valueName;
  DWORD m_hexType = REG_NONE;
  std::string m_hexBytes;
};

}  // namespace comsweep::registry
