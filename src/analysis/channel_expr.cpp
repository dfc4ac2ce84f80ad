#include "analysis/channel_expr.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include <muParser.h>

struct ExpressionParser {
    mu::Parser parser;
    std::vector<double> slots;   // the variables' values, at addresses the parser keeps
    std::vector<std::pair<std::string, std::string>> names;   // identifier, bracketed text
};

namespace {

// The identifier standing for bracketed text of `length` characters (at least 3: "[X]") naming
// variable `slot`: "Q" and two base-36 digits, padded with '_' to the length.
std::string identifier_for(int slot, size_t length)
{
    static const char DIGITS[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string id = "Q";
    id += DIGITS[(slot / 36) % 36];
    id += DIGITS[slot % 36];
    if (id.size() < length)
        id.append(length - id.size(), '_');
    return id;
}

// muParser's message with our identifiers turned back into the bracketed names.
std::string readable(const std::string& message, const ExpressionParser& p)
{
    std::string out = message;
    for (const auto& [id, bracketed] : p.names) {
        for (size_t at = out.find(id); at != std::string::npos; at = out.find(id, at + bracketed.size())) {
            // Only whole identifiers: a shorter one may begin a longer one.
            size_t end = at + id.size();
            bool whole = end >= out.size() || !(std::isalnum(static_cast<unsigned char>(out[end])) || out[end] == '_');
            if (!whole)
                continue;
            out.replace(at, id.size(), bracketed);
        }
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

}  // namespace

int compile_expression(const std::string& text, const ChannelResolver& resolve, ChannelExpression& out,
                       std::string& error)
{
    out = ChannelExpression{};
    out.text = text;
    auto p = std::make_shared<ExpressionParser>();
    std::string rewritten;
    std::vector<std::string> ids;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ']') {
            error = "']' without '[' at position " + std::to_string(i) + " in \"" + text + "\"";
            return EXPRESSION_BAD;
        }
        if (c != '[') {
            rewritten += c;
            continue;
        }
        size_t close = text.find(']', i + 1);
        size_t open = text.find('[', i + 1);
        if (close == std::string::npos || (open != std::string::npos && open < close)) {
            error = "'[' without ']' at position " + std::to_string(i) + " in \"" + text + "\"";
            return EXPRESSION_BAD;
        }
        std::string name = text.substr(i + 1, close - i - 1);
        std::string bracketed = text.substr(i, close - i + 1);
        int channel = resolve(name);
        if (channel < 0) {
            error = "unknown channel [" + name + "] in \"" + text + "\"";
            return EXPRESSION_UNKNOWN_CHANNEL;
        }
        int slot = -1;
        for (size_t s = 0; s < out.inputs.size(); ++s)
            if (out.inputs[s] == channel && ids[s].size() == bracketed.size())
                slot = static_cast<int>(s);
        if (slot < 0) {
            slot = static_cast<int>(out.inputs.size());
            out.inputs.push_back(channel);
            ids.push_back(identifier_for(slot, bracketed.size()));
            p->names.emplace_back(ids.back(), bracketed);
        }
        rewritten += ids[static_cast<size_t>(slot)];
        i = close;
    }
    // muParser reads a lone '=' as an assignment to the variable before it: "[Cl] = 1" would keep
    // every frame instead of the closed-loop ones.
    for (size_t i = 0; i < text.size(); ++i) {
        bool lone = text[i] == '=' && (i == 0 || std::strchr("=<>!", text[i - 1]) == nullptr) &&
                    (i + 1 >= text.size() || text[i + 1] != '=');
        if (lone) {
            error = "'=' at position " + std::to_string(i) + " in \"" + text + "\" assigns; compare with '=='";
            out = ChannelExpression{};
            return EXPRESSION_BAD;
        }
    }
    p->slots.assign(out.inputs.size(), 0.0);
    try {
        for (size_t s = 0; s < ids.size(); ++s)
            p->parser.DefineVar(ids[s], &p->slots[s]);
        p->parser.SetExpr(rewritten);
        p->parser.Eval();   // parses now, so that a bad expression is refused here
    } catch (const mu::Parser::exception_type& e) {
        error = readable(e.GetMsg(), *p);
        out = ChannelExpression{};
        return EXPRESSION_BAD;
    }
    out.parser = std::move(p);
    return EXPRESSION_OK;
}

void evaluate_over(ChannelExpression& e, const std::vector<const double*>& columns, long n, double* out)
{
    const size_t inputs = e.inputs.size();
    std::vector<double>& slots = e.parser->slots;
    mu::Parser& parser = e.parser->parser;
    for (long i = 0; i < n; ++i) {
        for (size_t s = 0; s < inputs; ++s)
            slots[s] = columns[static_cast<size_t>(e.inputs[s])][i];
        try {
            out[i] = parser.Eval();
        } catch (const mu::Parser::exception_type&) {
            out[i] = std::nan("");
        }
    }
}
