// INI reading cases that pin down the profile API's behaviour; our reader must give these answers,
// and so must the Windows API itself.
#pragma once

#include <string>
#include <vector>

struct IniStringCase {
    std::string title;
    std::string content;  // file bytes
    std::string section;
    std::string key;
    std::string defaultValue;
    std::string expected;
};

struct IniSectionsCase {
    std::string title;
    std::string content;
    std::vector<std::string> expected;
};

inline std::vector<IniStringCase> IniStringCases() {
    using namespace std::string_literals;
    const std::string longValue(5000, 'v');
    return {
        {"CR LF line ends", "[m]\r\nk=v\r\n", "m", "k", "", "v"},
        {"LF line ends", "[m]\nk=v\n", "m", "k", "", "v"},
        {"CR-only line ends", "[m]\rk=v\r", "m", "k", "", "v"},
        {"no final line end", "[m]\nk=v", "m", "k", "", "v"},
        {"NUL ends a value", "[m]\nk=ab\0cd\n"s, "m", "k", "", "ab"},
        {"NUL ends a key name", "[m]\nk\0x=v\n"s, "m", "k", "", "v"},
        {"blanks around names and values", "[m]\n \t k \v= \f v w \x1A\n", "m", "k", "", "v w"},
        {"blanks around the query", "[m]\nk=v\n", " m\t", " k ", "", "v"},
        {"header name trimmed, rest of line ignored", "  [ x ] tail\nk=v\n", "x", "k", "", "v"},
        {"header runs to the last ]", "[a]b]\nk=v\n", "a]b", "k", "", "v"},
        {"[ without ] is a key line", "[m]\n[k=v\n", "m", "[k", "", "v"},
        {"; starts no comment", "[m]\n; k=v\n", "m", "; k", "", "v"},
        {"; inside a value is kept", "[m]\nk=v ; c\n", "m", "k", "", "v ; c"},
        {"# is an ordinary character", "[m]\n#k=v\n", "m", "#k", "", "v"},
        {"section name in any case", "[MODEL]\nk=v\n", "model", "k", "", "v"},
        {"key name in any case", "[m]\nKEY=v\n", "m", "key", "", "v"},
        {"only the first section of a name is searched", "[m]\na=1\n[M]\nb=2\n", "m", "b", "d", "d"},
        {"first key of a name wins", "[m]\nk=1\nk=2\n", "m", "k", "", "1"},
        {"a key line without = shadows a later one", "[m]\nk\nk=2\n", "m", "k", "d", "d"},
        {"k= gives the empty text", "[m]\nk=\n", "m", "k", "d", ""},
        {"keys before the first header", "k=v\n[m]\nk=w\n", "", "k", "", "v"},
        {"keys of another section are not found", "[a]\nk=v\n[b]\n", "b", "k", "d", "d"},
        {"double quotes removed", "[m]\nk=\"a b\"\n", "m", "k", "", "a b"},
        {"single quotes removed", "[m]\nk='a'\n", "m", "k", "", "a"},
        {"one pair only", "[m]\nk=\"a\"b\"\n", "m", "k", "", "a\"b"},
        {"unmatched quotes kept", "[m]\nk=\"a'\n", "m", "k", "", "\"a'"},
        {"a lone quote kept", "[m]\nk=\"\n", "m", "k", "", "\""},
        {"two quotes give the empty text", "[m]\nk=\"\"\n", "m", "k", "", ""},
        {"missing key gives the default", "[m]\n", "m", "k", "dflt", "dflt"},
        {"missing section gives the default", "[m]\nk=v\n", "n", "k", "dflt", "dflt"},
        {"default loses trailing spaces", "[m]\n", "m", "k", "d  ", "d"},
        {"a default of spaces keeps its first", "[m]\n", "m", "k", "   ", " "},
        {"default loses enclosing quotes", "[m]\n", "m", "k", "\"d\"", "d"},
        {"value cut to 2047 bytes", "[m]\nk=" + longValue + "\n", "m", "k", "", longValue.substr(0, 2047)},
        // The closing quote is dropped by cutting the last byte copied, whenever the quoted text
        // (closing quote included) fits the 2,048-byte buffer: a value that fills it loses a byte.
        {"quoted value one short of the buffer", "[m]\nk=\"" + longValue.substr(0, 2046) + "\"\n", "m", "k", "",
         longValue.substr(0, 2046)},
        {"quoted value that fills the buffer loses its last byte", "[m]\nk=\"" + longValue.substr(0, 2047) + "\"\n",
         "m", "k", "", longValue.substr(0, 2046)},
        {"quoted value longer than the buffer is cut", "[m]\nk=\"" + longValue.substr(0, 2048) + "\"\n", "m", "k", "",
         longValue.substr(0, 2047)},
        {"UTF-8 byte-order mark skipped", "\xEF\xBB\xBF[m]\nk=v\n", "m", "k", "", "v"},
        {"other bytes pass unchanged", "[m]\nk=\xC3\xA9\xFF\n", "m", "k", "", "\xC3\xA9\xFF"},
        {"empty file", "", "m", "k", "d", "d"},
    };
}

inline std::vector<IniSectionsCase> IniSectionsCases() {
    using namespace std::string_literals;
    return {
        {"file order, once per header", "[b]\n[a]\nk=v\n[b]\n", {"b", "a", "b"}},
        {"empty names are never listed", "k=v\n[]\n[ ]\n[x]\n", {"x"}},
        {"names end at a NUL", "[a\0b]\n"s, {"a"}},
        {"CR-only file", "[a]\rk=v\r[b]\r", {"a", "b"}},
        {"byte-order mark", "\xEF\xBB\xBF[a]\n", {"a"}},
        {"no sections", "k=v\n", {}},
    };
}
