// Data description entries to a layout: the clauses of each entry, the level structure, the
// storage of every item, and the items that the chosen REDEFINES alternatives leave.
#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "copybook/copybook.h"
#include "copybook/picture.h"
#include "copybook/source.h"

namespace recsift::copybook {
namespace {

constexpr int kMaxLevel = 49;
constexpr int kRenamesLevel = 66;
constexpr int kConditionLevel = 88;
constexpr int64_t kMaxOccurs = 1 << 20;
constexpr int64_t kMaxRecord = int64_t{1} << 30;  // longer than any record a file holds
constexpr int64_t kMaxItems = 1000000;            // items of the chosen layout, occurrences counted

// One entry of the description, as a node of the level tree.
struct Node {
  std::string name;                         // COBOL name, upper case ("FILLER" when unnamed)
  int level = 0;                            // 1-49
  int line = 0;                             // line of the level number
  bool filler = false;                      // FILLER or unnamed
  bool has_picture = false;                 // an elementary item
  Picture picture;                          // with has_picture
  Usage usage = Usage::kNone;               // own or inherited from a group
  bool own_usage = false;                   // the entry itself says USAGE
  SignPosition sign = SignPosition::kNone;  // own or inherited SIGN clause
  bool own_sign = false;                    // the entry itself says SIGN
  int64_t occurs = 1;                       // OCCURS n TIMES; with DEPENDING ON the most
  bool table = false;                       // the entry has an OCCURS clause
  bool variable = false;                    // OCCURS ... DEPENDING ON: the count varies
  int64_t min_occurs = -1;                  // OCCURS n TO m: n; -1 when no TO was written
  std::string depending_on;                 // DEPENDING ON name, as written
  std::string redefines;                    // REDEFINES name
  int original = -1;                        // the node this one redefines
  bool redefined = false;                   // some later node redefines this one
  std::vector<int> children;                // subordinate entries, in order
  int parent = -1;                          // the group holding the entry; -1 for outermost
  // Set by measure():
  Kind kind = Kind::kText;  // elementary items: the form of the value
  int64_t unit = 0;         // bytes of one occurrence
  int64_t relative = 0;     // offset of the first occurrence within the parent's occurrence
};

// The state of one reading.
struct Parser {
  const Source& src;        // the entries and the lines, for error texts
  Error* error;             // where a fault is described
  std::vector<Node> nodes;  // every entry read, in order
  std::vector<int> roots;   // the outermost entries

  int fail_at(int line, std::string reason) { return fail(src, line, std::move(reason), error); }
};

// Words that begin a clause, usages (refused ones included) among them: the words of a VALUE,
// KEY or INDEXED BY list end before one, so no clause is passed over unread.
bool is_clause_word(std::string_view w) {
  static constexpr std::array<std::string_view, 22> kWords{
      "REDEFINES",    "PIC",       "PICTURE",   "USAGE",     "SIGN",     "LEADING",
      "TRAILING",     "SEPARATE",  "OCCURS",    "DEPENDING", "VALUE",    "VALUES",
      "JUST",         "JUSTIFIED", "BLANK",     "GLOBAL",    "EXTERNAL", "SYNC",
      "SYNCHRONIZED", "INDEXED",   "ASCENDING", "DESCENDING"};
  if (std::find(kWords.begin(), kWords.end(), w) != kWords.end()) return true;
  Usage ignored = Usage::kNone;
  bool known = false;
  const std::string refused = read_usage(w, &ignored, &known);
  return known || !refused.empty();
}

bool is_number(std::string_view w) {
  return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Reads the clauses of one entry into a node.
int read_clauses(Parser& p, const Entry& e, Node* node) {
  const std::vector<Word>& w = e.words;
  size_t i = 1;
  if (i < w.size() && !w[i].quoted && !is_clause_word(w[i].text)) {
    node->name = w[i].text;
    node->filler = node->name == "FILLER";
    // The name becomes a variable name (%NAME%) and a quoted column name: a character outside
    // the COBOL word set would cut either apart.
    if (!std::all_of(node->name.begin(), node->name.end(), [](char ch) {
          return (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '_';
        })) {
      return p.fail_at(w[i].line, "the name " + node->name +
                                      " holds a character other than a letter, a digit, \"-\" "
                                      "or \"_\"");
    }
    ++i;
  } else {
    node->name = "FILLER";
    node->filler = true;
  }
  auto word = [&](size_t k) -> std::string_view {
    return k < w.size() && !w[k].quoted ? std::string_view(w[k].text) : std::string_view{};
  };
  auto skip_is = [&](std::string_view filler_word) {
    if (word(i) == filler_word) ++i;
  };
  while (i < w.size()) {
    const int line = w[i].line;
    const std::string_view c = word(i++);
    if (c == "REDEFINES") {
      if (word(i).empty()) return p.fail_at(line, "REDEFINES names no item");
      node->redefines = w[i++].text;
    } else if (c == "PIC" || c == "PICTURE") {
      skip_is("IS");
      if (i >= w.size()) return p.fail_at(line, "PICTURE without a string");
      const std::string why = read_picture(w[i].text, &node->picture);
      if (!why.empty()) return p.fail_at(line, "PICTURE " + w[i].text + ": " + why);
      node->has_picture = true;
      ++i;
    } else if (c == "USAGE") {
      skip_is("IS");
      bool known = false;
      const std::string why = read_usage(word(i), &node->usage, &known);
      if (!why.empty()) return p.fail_at(line, why);
      if (!known) return p.fail_at(line, "unknown USAGE " + std::string(word(i)));
      node->own_usage = true;
      ++i;
    } else if (c == "SIGN" || c == "LEADING" || c == "TRAILING") {
      std::string_view where = c;
      if (c == "SIGN") {
        skip_is("IS");
        where = word(i++);
      }
      if (where != "LEADING" && where != "TRAILING") {
        return p.fail_at(line, "SIGN must be LEADING or TRAILING");
      }
      bool separate = false;
      if (word(i) == "SEPARATE") {
        separate = true;
        ++i;
        skip_is("CHARACTER");
      }
      node->sign = where == "LEADING"
                       ? (separate ? SignPosition::kLeadingSeparate : SignPosition::kLeading)
                       : (separate ? SignPosition::kTrailingSeparate : SignPosition::kTrailing);
      node->own_sign = true;
    } else if (c == "OCCURS") {
      if (!is_number(word(i))) return p.fail_at(line, "OCCURS needs a number of times");
      node->occurs = std::stoll(std::string(word(i).substr(0, 9)));
      node->table = true;
      ++i;
      if (word(i) == "TO") {
        ++i;
        if (!is_number(word(i))) return p.fail_at(line, "OCCURS n TO needs a number after TO");
        node->min_occurs = node->occurs;
        node->occurs = std::stoll(std::string(word(i).substr(0, 9)));
        ++i;
      }
      if (node->occurs < 1 || node->occurs > kMaxOccurs) {
        return p.fail_at(line, "OCCURS needs a number of times from 1 to 1048576");
      }
      if (node->min_occurs > node->occurs) {
        return p.fail_at(line, "OCCURS n TO m needs n no greater than m");
      }
      skip_is("TIMES");
    } else if (c == "DEPENDING") {
      if (!node->table || node->variable) return p.fail_at(line, "DEPENDING ON without OCCURS");
      skip_is("ON");
      if (word(i).empty()) return p.fail_at(line, "DEPENDING ON names no item");
      node->depending_on = w[i++].text;
      node->variable = true;
      // A qualified count (N OF GROUP) is named by its own name in the notes.
      while ((word(i) == "OF" || word(i) == "IN") && !word(i + 1).empty()) i += 2;
    } else if (c == "ASCENDING" || c == "DESCENDING" || c == "INDEXED") {
      // Keys and index names of a table take no storage.
      while (i < w.size() && (w[i].quoted || !is_clause_word(w[i].text))) ++i;
    } else if (c == "VALUE" || c == "VALUES") {
      // An initial value takes no storage of its own.
      while (i < w.size() && (w[i].quoted || !is_clause_word(w[i].text))) ++i;
    } else if (c == "JUST" || c == "JUSTIFIED") {
      skip_is("RIGHT");
    } else if (c == "BLANK") {
      skip_is("WHEN");
      ++i;  // ZERO
    } else if (c == "GLOBAL" || c == "EXTERNAL") {
    } else if (c == "SYNC" || c == "SYNCHRONIZED") {
      return p.fail_at(line, "SYNCHRONIZED is not supported (it moves fields to word boundaries)");
    } else {
      bool known = false;
      const std::string why = read_usage(c, &node->usage, &known);
      if (!why.empty()) return p.fail_at(line, why);
      if (!known) {
        return p.fail_at(
            line, "unknown clause " + (c.empty() ? "'" + w[i - 1].text + "'" : std::string(c)));
      }
      node->own_usage = true;
    }
  }
  if (node->min_occurs >= 0 && !node->variable) {
    return p.fail_at(e.words.front().line, "OCCURS n TO m needs DEPENDING ON");
  }
  return 0;
}

// Places a new node in the level tree; *parent is -1 for an outermost item.
int place(Parser& p, std::vector<int>& open, int level, int line, int* parent) {
  bool closed_deeper = false;
  while (!open.empty() && p.nodes[open.back()].level > level) {
    open.pop_back();
    closed_deeper = true;
  }
  if (!open.empty() && p.nodes[open.back()].level == level) {
    open.pop_back();
  } else if (open.empty()) {
    if (!p.roots.empty() && level != p.nodes[p.roots.front()].level) {
      return p.fail_at(line, "level " + std::to_string(level) +
                                 " is out of order (above the first entry's level)");
    }
  } else if (closed_deeper) {
    return p.fail_at(
        line, "level " + std::to_string(level) + " is out of order (it matches no open group)");
  }
  *parent = open.empty() ? -1 : open.back();
  if (*parent >= 0 && p.nodes[*parent].has_picture) {
    return p.fail_at(
        line, p.nodes[*parent].name + " has a PICTURE, so it cannot hold the fields that follow");
  }
  return 0;
}

// Finds the item that a REDEFINES names: an earlier sibling of the same level.
int link_redefines(Parser& p, const std::vector<int>& siblings, int self) {
  Node& n = p.nodes[self];
  for (auto it = siblings.rbegin(); it != siblings.rend(); ++it) {
    if (*it == self || p.nodes[*it].name != n.redefines) continue;
    int target = *it;
    while (p.nodes[target].original >= 0) target = p.nodes[target].original;
    n.original = target;
    p.nodes[target].redefined = true;
    return 0;
  }
  return p.fail_at(
      n.line, "REDEFINES " + n.redefines + ": no earlier item of the same level has that name");
}

// Works out the kind and size of every item, and each item's offset within its parent.
int measure(Parser& p, int index);

// Measures `items` and places them one after another, an item that REDEFINES another at that
// one's place: the bytes they span, or -1 when one of them fails.
int64_t place_siblings(Parser& p, const std::vector<int>& items) {
  int64_t cursor = 0;
  int64_t extent = 0;
  for (int i : items) {
    if (measure(p, i) != 0) return -1;
    Node& n = p.nodes[i];
    const int64_t size = n.unit * n.occurs;
    n.relative = n.original >= 0 ? p.nodes[n.original].relative : cursor;
    if (n.original < 0) cursor += size;
    extent = std::max(extent, n.relative + size);
  }
  return std::max(cursor, extent);
}

int measure(Parser& p, int index) {
  Node& n = p.nodes[index];
  if (n.has_picture) {
    const Picture& pic = n.picture;
    const Usage u = n.usage == Usage::kNone ? Usage::kDisplay : n.usage;
    if (pic.text) {
      if (u != Usage::kDisplay) return p.fail_at(n.line, "a PICTURE of X or A must be DISPLAY");
      if (n.own_sign) return p.fail_at(n.line, "SIGN on a PICTURE of X or A");
      n.kind = Kind::kText;
      n.unit = pic.positions;
    } else if (u == Usage::kDisplay) {
      n.kind = Kind::kZoned;
      if (!pic.is_signed) {
        if (n.own_sign) return p.fail_at(n.line, "SIGN needs an S in the PICTURE");
        n.sign = SignPosition::kNone;
      } else if (n.sign == SignPosition::kNone) {
        n.sign = SignPosition::kTrailing;
      }
      const bool separate =
          n.sign == SignPosition::kLeadingSeparate || n.sign == SignPosition::kTrailingSeparate;
      n.unit = pic.digits + (separate ? 1 : 0);
    } else {
      if (n.own_sign) return p.fail_at(n.line, "SIGN applies to DISPLAY numbers only");
      n.sign = SignPosition::kNone;
      if (u == Usage::kPacked) {
        n.kind = Kind::kPacked;
        n.unit = pic.digits / 2 + 1;
      } else {
        n.kind = Kind::kBinary;
        n.unit = binary_bytes(pic.digits);
        if (n.unit == 0) return p.fail_at(n.line, "a binary number of more than 18 digits");
      }
    }
  } else {
    if (n.children.empty()) {
      return p.fail_at(n.line, n.name + " has neither a PICTURE nor fields of its own");
    }
    const int64_t span = place_siblings(p, n.children);
    if (span < 0) return 1;
    p.nodes[index].unit = span;
  }
  // Nested tables multiply: the size is checked before it can overflow.
  if (n.unit > kMaxRecord / n.occurs) {
    return p.fail_at(n.line, n.name + " would be longer than 1 GiB");
  }
  return 0;
}

// A table whose count varies must end its record: the items after it would move with the count,
// and no fixed position could name them. It must not lie inside another table either, where
// every later occurrence would move. `record_span` is the bytes the outermost items span.
int check_variable_table(Parser& p, int table, int64_t record_span) {
  const int line = p.nodes[table].line;
  for (int k = table;;) {
    const Node& n = p.nodes[k];
    if (n.parent < 0 && n.level == 1) return 0;  // each 01 entry is a record of its own
    const std::vector<int>& siblings = n.parent >= 0 ? p.nodes[n.parent].children : p.roots;
    const int64_t span = n.parent >= 0 ? p.nodes[n.parent].unit : record_span;
    if (n.parent >= 0 && p.nodes[n.parent].table) {
      return p.fail_at(line, "OCCURS DEPENDING ON inside another OCCURS table is not supported");
    }
    // The last entry written, and the last bytes too (a shorter REDEFINES may come last).
    if (siblings.back() != k || n.relative + n.unit * n.occurs != span) {
      return p.fail_at(line,
                       "OCCURS DEPENDING ON is supported only at the end of a record (the items "
                       "after the table would move with its count)");
    }
    if (n.parent < 0) return 0;
    k = n.parent;
  }
}

// Items the node gives in the layout, occurrences counted; stops counting past kMaxItems.
int64_t count_items(const Parser& p, int index) {
  const Node& n = p.nodes[index];
  int64_t per = 1;
  for (int c : n.children) {
    per += count_items(p, c);
    if (per > kMaxItems) return kMaxItems + 1;
  }
  return per > kMaxItems / n.occurs ? kMaxItems + 1 : per * n.occurs;
}

std::string field_name(std::string_view cobol) {
  std::string s(cobol);
  std::replace(s.begin(), s.end(), '-', '_');
  return s;
}

// Which alternative of each REDEFINES area is used: original node -> chosen node.
int choose(Parser& p, const Options& options, std::map<int, int>* chosen) {
  for (const std::string& wanted : options.redefines) {
    std::string name = wanted;
    for (char& c : name)
      c = c == '_' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    bool found = false;
    for (int k = 0; k < static_cast<int>(p.nodes.size()); ++k) {
      const Node& n = p.nodes[k];
      if (n.name != name || (n.original < 0 && !n.redefined)) continue;
      const int area = n.original >= 0 ? n.original : k;
      auto [it, inserted] = chosen->emplace(area, k);
      if (!inserted && it->second != k) {
        return fail(p.src, 0,
                    "--redefine " + wanted + ": another alternative of " + p.nodes[area].name +
                        " is already chosen",
                    p.error);
      }
      found = true;
    }
    if (!found) {
      return fail(p.src, 0, "--redefine " + wanted + ": no REDEFINES alternative has that name",
                  p.error);
    }
  }
  return 0;
}

// Lays the tree out as items, every occurrence of a table spelled out.
struct Flattener {
  const Parser& p;                   // the measured tree
  const std::map<int, int>& chosen;  // REDEFINES area -> alternative used
  Layout* layout;                    // receives the items

  bool shown(int k) const {
    const Node& n = p.nodes[k];
    const int area = n.original >= 0 ? n.original : (n.redefined ? k : -1);
    if (area < 0) return true;
    auto it = chosen.find(area);
    return it == chosen.end() ? k == area : it->second == k;
  }

  void add(int k, int64_t base, int depth, const std::string& suffix) {
    if (!shown(k)) return;
    const Node& n = p.nodes[k];
    if (n.variable) {
      VariableTable t;
      t.name = field_name(n.name) + suffix;
      t.line = n.line;
      t.min_occurs = n.min_occurs;
      t.max_occurs = n.occurs;
      t.depending_on = field_name(n.depending_on);
      t.offset = base + n.relative;
      t.unit = n.unit;
      layout->variable = std::move(t);
    }
    for (int64_t o = 0; o < n.occurs; ++o) {
      const std::string sfx = n.occurs > 1 ? suffix + "_" + std::to_string(o + 1) : suffix;
      Item item;
      item.name = field_name(n.name) + sfx;
      item.line = n.line;
      item.depth = depth;
      item.group = !n.has_picture;
      item.filler = n.filler;
      item.offset = base + n.relative + o * n.unit;
      item.length = n.unit;
      if (n.has_picture) {
        item.kind = n.kind;
        if (n.kind != Kind::kText) {
          item.is_signed = n.picture.is_signed;
          item.digits = n.picture.digits;
          item.scale = n.picture.scale;
          item.sign = n.sign;
        }
      }
      const int64_t start = item.offset;
      layout->items.push_back(std::move(item));
      for (int c : n.children) add(c, start, depth + 1, sfx);
    }
  }
};

}  // namespace

int parse_copybook(std::string_view text, const Options& options, Layout* layout, Error* error) {
  *layout = Layout{};
  Source src;
  if (read_source(text, &src, error) != 0) return 1;
  Parser p{src, error, {}, {}};
  std::vector<int> open;  // the groups an entry may still belong to, outermost first
  for (const Entry& e : src.entries) {
    const Word& first = e.words.front();
    if (first.quoted || !is_number(first.text) || first.text.size() > 2) {
      return p.fail_at(first.line, "an entry must begin with a level number, not " + first.text);
    }
    const int level = std::stoi(first.text);
    if (level == kRenamesLevel || level == kConditionLevel) continue;  // no storage of their own
    if (level < 1 || level > kMaxLevel) {
      return p.fail_at(first.line,
                       "level " + first.text + " is not supported (only 01-49, 66, 88)");
    }
    int parent = -1;
    if (place(p, open, level, first.line, &parent) != 0) return 1;
    Node node;
    node.parent = parent;
    node.level = level;
    node.line = first.line;
    if (read_clauses(p, e, &node) != 0) return 1;
    if (parent >= 0) {
      const Node& up = p.nodes[parent];
      if (!node.own_usage) node.usage = up.usage;
      if (!node.own_sign) node.sign = up.sign;
    }
    const int index = static_cast<int>(p.nodes.size());
    p.nodes.push_back(std::move(node));
    std::vector<int>& siblings = parent >= 0 ? p.nodes[parent].children : p.roots;
    siblings.push_back(index);
    Node& added = p.nodes[index];
    if (!added.redefines.empty()) {
      if (link_redefines(p, siblings, index) != 0) return 1;
    } else if (level == 1 && siblings.size() > 1) {
      // Several records in one copybook share the record area, as alternatives of the first.
      added.original = siblings.front();
      p.nodes[siblings.front()].redefined = true;
    }
    open.push_back(index);
  }
  if (p.roots.empty()) return fail(src, 0, "the copybook describes no field", error);
  const int64_t record_length = place_siblings(p, p.roots);
  if (record_length < 0) return 1;
  for (int k = 0; k < static_cast<int>(p.nodes.size()); ++k) {
    if (p.nodes[k].variable && check_variable_table(p, k, record_length) != 0) return 1;
  }
  int64_t items = 0;
  for (int r : p.roots) items += count_items(p, r);
  if (items > kMaxItems) {
    return fail(src, 0, "the layout would hold more than 1000000 items (OCCURS nested too deep)",
                error);
  }
  std::map<int, int> chosen;
  if (choose(p, options, &chosen) != 0) return 1;
  Flattener f{p, chosen, layout};
  for (int r : p.roots) f.add(r, 0, 0, "");
  layout->record_length = record_length;
  return 0;
}

}  // namespace recsift::copybook
