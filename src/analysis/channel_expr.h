// Expressions over a log's channels: math channels and filters, in muParser's syntax with channel
// names written in square brackets ("([WB]/[AFR] - 1) * 100", "[RPM] > 2000 && [Cl] == 1").
//
// A bracketed name becomes a muParser variable whose identifier is exactly as long as the
// bracketed text, so the positions in muParser's messages point into what the user wrote; the
// messages name the channel again instead of the identifier. An expression is compiled once and
// then evaluated frame after frame with the frame's values copied into its variables.
//
// One thread at a time per expression.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ExpressionParser;   // muParser's parser, kept out of this header

struct ChannelExpression {
    std::string text;              // as written
    std::vector<int> inputs;       // the channel each variable reads (the resolver's numbers)
    std::shared_ptr<ExpressionParser> parser;   // with the variables' values; copies share it
};

// Channel number for a name written in brackets, or -1 when there is no such channel.
using ChannelResolver = std::function<int(const std::string&)>;

enum ExpressionResult : int {
    EXPRESSION_OK = 0,
    EXPRESSION_BAD = -1,              // muParser refused it; `error` holds its message
    EXPRESSION_UNKNOWN_CHANNEL = -2,  // `error` says which
};

// Compiles `text`. On failure `error` is one line saying why.
int compile_expression(const std::string& text, const ChannelResolver& resolve, ChannelExpression& out,
                       std::string& error);

// Evaluates `e` at samples 0..n-1 into out[0..n-1]; columns[ch] is channel ch's values (each
// input's column must hold n values). A run-time failure of muParser gives NaN.
void evaluate_over(ChannelExpression& e, const std::vector<const double*>& columns, long n, double* out);
