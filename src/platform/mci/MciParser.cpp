// The command table and the parser: every verb with the keywords it takes.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "platform/mci/MciCommand.h"
#include "platform/mci/MciHandlers.h"

namespace plim::mci {
namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

enum class Arg { Flag, Int, Text, Rect, Status, Where, SeekWord, SeekInt, StyleWord, FormatWord, StateWord };

struct Keyword {
    const char* words;  // one or more blank-separated words
    Arg arg;
    uint32_t value;  // the flag, or the enum value the keyword stands for
};

struct CommandSpec {
    const char* verb;
    Verb id;
    std::vector<Keyword> keywords;
    Handler handler;
};

const std::vector<Keyword> kCommon = {{"wait", Arg::Flag, kWait}, {"notify", Arg::Flag, kNotify}};

const std::vector<CommandSpec>& table() {
    // Never destroyed: the quit action may still send commands while the process exits.
    static const std::vector<CommandSpec>& t = *new std::vector<CommandSpec>{
        {"open", Verb::Open,
         {{"alias", Arg::Text, 0}, {"type", Arg::Text, 1}, {"style", Arg::StyleWord, 0}, {"parent", Arg::Int, 0},
          {"shareable", Arg::Flag, kShareable}, {"nostatic", Arg::Flag, kNoStatic}},
         &doOpen},
        {"close", Verb::Close, {}, &doClose},
        {"play", Verb::Play, {{"from", Arg::Int, 1}, {"to", Arg::Int, 2}, {"window", Arg::Flag, kWindow}}, &onDevice<doPlay>},
        {"stop", Verb::Stop, {}, &onDevice<doStop>},
        {"pause", Verb::Pause, {}, &onDevice<doPause>},
        {"resume", Verb::Resume, {}, &onDevice<doResume>},
        {"seek", Verb::Seek,
         {{"to start", Arg::SeekWord, uint32_t(SeekTarget::Start)},
          {"to end", Arg::SeekWord, uint32_t(SeekTarget::End)},
          {"to", Arg::SeekInt, uint32_t(SeekTarget::Value)}},
         &onDevice<doSeek>},
        {"step", Verb::Step, {{"by", Arg::Int, 3}, {"reverse", Arg::Flag, kReverse}}, &onDevice<doStep>},
        {"status", Verb::Status,
         {{"length", Arg::Status, uint32_t(StatusItem::Length)}, {"position", Arg::Status, uint32_t(StatusItem::Position)},
          {"mode", Arg::Status, uint32_t(StatusItem::Mode)}, {"ready", Arg::Status, uint32_t(StatusItem::Ready)},
          {"time format", Arg::Status, uint32_t(StatusItem::TimeFormat)},
          {"window handle", Arg::Status, uint32_t(StatusItem::WindowHandle)},
          {"frames skipped", Arg::Status, uint32_t(StatusItem::FramesSkipped)},
          {"volume", Arg::Status, uint32_t(StatusItem::Volume)}},
         &onDevice<doStatus>},
        {"where", Verb::Where,
         {{"source", Arg::Where, uint32_t(WhereItem::Source)},
          {"destination", Arg::Where, uint32_t(WhereItem::Destination)},
          {"window", Arg::Where, uint32_t(WhereItem::Window)}},
         &onDevice<doWhere>},
        {"put", Verb::Put,
         {{"destination", Arg::Where, uint32_t(WhereItem::Destination)},
          {"window", Arg::Where, uint32_t(WhereItem::Window)}, {"at", Arg::Rect, 0}},
         &onDevice<doPut>},
        {"realize", Verb::Realize, {{"normal", Arg::Flag, kNormal}, {"background", Arg::Flag, kBackground}}, &onDevice<doRealize>},
        {"window", Verb::Window, {{"state", Arg::StateWord, 0}}, &onDevice<doWindow>},
        {"set", Verb::Set, {{"time format", Arg::FormatWord, 0}}, &onDevice<doSet>},
        {"update", Verb::Update, {{"hdc", Arg::Int, 0}, {"at", Arg::Rect, 0}}, &onDevice<doUpdate>},
        {"setaudio", Verb::SetAudio, {{"volume to", Arg::Int, 0}}, &onDevice<doSetAudio>},
    };
    return t;
}

bool iequals(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

uint32_t tokenize(const std::string& s, std::vector<Token>& out) {
    size_t i = 0;
    while (i < s.size()) {
        if (isBlank(s[i])) {
            ++i;
            continue;
        }
        if (s[i] == '"') {
            size_t close = s.find('"', i + 1);
            if (close == std::string::npos) return err::kNoClosingQuote;
            if (close + 1 < s.size() && !isBlank(s[close + 1])) return err::kExtraCharacters;
            out.push_back({s.substr(i + 1, close - i - 1), true});
            i = close + 1;
            continue;
        }
        size_t j = i;
        while (j < s.size() && !isBlank(s[j])) ++j;
        out.push_back({s.substr(i, j - i), false});
        i = j;
    }
    return 0;
}

// Decimal with an optional '-', or the colon form a:b:c:d packing bytes low byte first.
bool parseInt(const std::string& t, int64_t& out) {
    if (t.find(':') != std::string::npos) {
        int64_t v = 0;
        int shift = 0;
        size_t start = 0;
        for (int part = 0; part < 4 && start <= t.size(); ++part) {
            size_t end = t.find(':', start);
            std::string p = t.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (p.empty() || p.size() > 3 || !std::all_of(p.begin(), p.end(), ::isdigit)) return false;
            int b = std::stoi(p);
            if (b > 255) return false;
            v |= int64_t(b) << shift;
            shift += 8;
            if (end == std::string::npos) {
                out = v;
                return true;
            }
            start = end + 1;
        }
        return false;
    }
    size_t i = (!t.empty() && t[0] == '-') ? 1 : 0;
    if (i == t.size() || t.size() - i > 10) return false;
    for (size_t k = i; k < t.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(t[k]))) return false;
    int64_t v = std::stoll(t);
    if (v < INT32_MIN || v > UINT32_MAX) return false;
    out = v;
    return true;
}

// Does the keyword's word sequence stand at position i?
size_t matchWords(const std::vector<Token>& tk, size_t i, const char* words) {
    std::string w(words);
    size_t n = 0, start = 0;
    while (start <= w.size()) {
        size_t end = w.find(' ', start);
        std::string part = w.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (i + n >= tk.size() || tk[i + n].quoted || !iequals(tk[i + n].text, part.c_str())) return 0;
        ++n;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return n;
}

struct Parser {
    const std::vector<Token>& tk;
    size_t i;
    MciCommand& cmd;

    uint32_t needValue() const { return i < tk.size() ? 0 : err::kMissingParameter; }

    uint32_t takeInt(int64_t& out) {
        if (uint32_t e = needValue()) return e;
        if (!parseInt(tk[i].text, out)) return err::kBadInteger;
        ++i;
        return 0;
    }

    uint32_t apply(const Keyword& kw) {
        switch (kw.arg) {
            case Arg::Flag:
                if (cmd.flags & kw.value) return err::kDuplicateFlags;
                cmd.flags |= kw.value;
                return 0;
            case Arg::Text: {
                if (uint32_t e = needValue()) return e;
                (kw.value == 0 ? cmd.alias : cmd.type) = tk[i++].text;
                return 0;
            }
            case Arg::Int: return intValue(kw);
            case Arg::Rect: return rectValue();
            case Arg::Status: return once(cmd.status, StatusItem::None, StatusItem(kw.value));
            case Arg::Where: return once(cmd.where, WhereItem::None, WhereItem(kw.value));
            case Arg::SeekWord: return once(cmd.seek, SeekTarget::None, SeekTarget(kw.value));
            case Arg::SeekInt:
                if (uint32_t e = once(cmd.seek, SeekTarget::None, SeekTarget::Value)) return e;
                return takeInt(cmd.seekTo);
            case Arg::StyleWord: return styleWord();
            case Arg::FormatWord: return formatWord();
            case Arg::StateWord: return stateWord();
        }
        return err::kUnrecognizedKeyword;
    }

    // One item of a group that takes only one (status, where, seek): a second conflicts.
    template <class Item>
    uint32_t once(Item& field, Item none, Item value) {
        if (field != none) return err::kFlagsNotCompatible;
        field = value;
        return 0;
    }

    // The number after "parent", "by", "from" or "to".
    uint32_t intValue(const Keyword& kw) {
        int64_t v = 0;
        if (uint32_t e = takeInt(v)) return e;
        if (cmd.verb == Verb::Open) cmd.parent = v;
        else if (cmd.verb == Verb::Step) cmd.stepBy = v;
        else if (cmd.verb == Verb::Update) cmd.hdc = v;
        else if (cmd.verb == Verb::SetAudio) cmd.volume = v;
        else (kw.value == 1 ? cmd.from : cmd.to) = v;
        return 0;
    }

    // Four numbers; fewer is a bad number, not a missing one.
    uint32_t rectValue() {
        std::array<int64_t, 4> r{};
        for (auto& v : r)
            if (uint32_t e = takeInt(v)) return e == err::kMissingParameter ? err::kBadInteger : e;
        cmd.rect = r;
        return 0;
    }

    uint32_t styleWord() {
        if (uint32_t e = needValue()) return e;
        const std::string& w = tk[i].text;
        int64_t v;
        if (iequals(w, "child")) cmd.style = Style::Child;
        else if (iequals(w, "popup")) cmd.style = Style::Popup;
        else if (iequals(w, "overlapped")) cmd.style = Style::Overlapped;
        else if (parseInt(w, v)) cmd.style = (v & 0x40000000) ? Style::Child : Style::Overlapped;
        else return err::kBadConstant;
        ++i;
        return 0;
    }

    uint32_t formatWord() {
        if (uint32_t e = needValue()) return e;
        const std::string& w = tk[i].text;
        if (iequals(w, "milliseconds") || iequals(w, "ms")) cmd.timeFormat = TimeFormat::Milliseconds;
        else if (iequals(w, "frames")) cmd.timeFormat = TimeFormat::Frames;
        else return err::kBadTimeFormat;
        ++i;
        return 0;
    }

    uint32_t stateWord() {
        if (uint32_t e = needValue()) return e;
        const std::string& w = tk[i].text;
        uint32_t f = iequals(w, "show") ? uint32_t(kStateShow) : iequals(w, "hide") ? uint32_t(kStateHide) : 0u;
        if (!f) return err::kBadConstant;
        if (cmd.flags & (kStateShow | kStateHide)) return err::kDuplicateFlags;
        cmd.flags |= f;
        ++i;
        return 0;
    }

    uint32_t keywords(const CommandSpec& spec) {
        while (i < tk.size()) {
            const Keyword* best = nullptr;
            size_t bestLen = 0;
            for (const auto* list : {&spec.keywords, &kCommon})
                for (const Keyword& kw : *list) {
                    size_t n = matchWords(tk, i, kw.words);
                    if (n > bestLen) best = &kw, bestLen = n;
                }
            if (!best) return err::kUnrecognizedKeyword;
            i += bestLen;
            if (uint32_t e = apply(*best)) return e;
        }
        return 0;
    }
};

// What a verb needs beyond its keywords.
uint32_t complete(const MciCommand& c) {
    switch (c.verb) {
        case Verb::Seek: return c.seek == SeekTarget::None ? err::kMissingParameter : 0;
        case Verb::Status: return c.status == StatusItem::None ? err::kUnsupportedFunction : 0;
        case Verb::Where: return c.where == WhereItem::None ? err::kMissingParameter : 0;
        case Verb::Set: return c.timeFormat ? 0 : err::kMissingParameter;
        case Verb::SetAudio:
            if (!c.volume) return err::kMissingParameter;
            return *c.volume < 0 || *c.volume > kFullVolume ? err::kOutOfRange : 0;
        case Verb::Step: return c.stepBy < 0 ? err::kOutOfRange : 0;
        default: return 0;
    }
}

}  // namespace

ParseResult parseCommand(const std::string& text) {
    ParseResult r;
    std::vector<Token> tk;
    if ((r.error = tokenize(text, tk))) return r;
    if (tk.empty()) return r.error = err::kMissingCommandString, r;
    const CommandSpec* spec = nullptr;
    for (const CommandSpec& s : table())
        if (!tk[0].quoted && iequals(tk[0].text, s.verb)) spec = &s;
    if (!spec) return r.error = err::kUnrecognizedCommand, r;
    r.command.verb = spec->id;
    r.handler = spec->handler;
    if (tk.size() < 2) return r.error = err::kMissingDeviceName, r;
    r.command.device = tk[1].text;
    r.command.all = !tk[1].quoted && iequals(tk[1].text, "all");
    if (r.command.all && spec->id != Verb::Close) return r.error = err::kCannotUseAll, r;
    Parser p{tk, 2, r.command};
    if ((r.error = p.keywords(*spec))) return r;
    r.error = complete(r.command);
    return r;
}

}  // namespace plim::mci
