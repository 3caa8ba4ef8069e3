// Parsing of the statement shapes the embedded layer runs:
//   ALTER SESSION SET CURRENT_SCHEMA = name
//   CREATE TABLE [schema.]table (column type, ...)
//   INSERT INTO [schema.]table (column, ...) VALUES (:p, ...)
//          [RETURNING column, ... INTO :p, ...]
// Unquoted names are folded to upper case, quoted ones keep their case. Any
// other statement is refused with Oracle's code for it.
#include <cstring>

#include "oci_impl.h"

namespace {

struct token {
    enum kind_t { END, WORD, QUOTED, NUMBER, BIND, PUNCT } kind = END;
    std::string s;   // upper-cased word, quoted name, number, bind name, punctuation
};

struct lexer {
    const char *p, *e;
    bool bad = false;

    static bool word_char(char c)
    {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
               c == '#' || (unsigned char)c >= 0x80;
    }

    token next()
    {
        token t;
        while (p < e && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
            p++;
        if (p >= e)
            return t;
        char c = *p;
        if (c == '"') {
            const char *q = static_cast<const char *>(memchr(p + 1, '"', e - p - 1));
            if (!q || q == p + 1) {
                bad = true;
                return t;
            }
            t.kind = token::QUOTED;
            t.s.assign(p + 1, q);
            p = q + 1;
        } else if (c >= '0' && c <= '9') {
            t.kind = token::NUMBER;
            while (p < e && *p >= '0' && *p <= '9')
                t.s += *p++;
        } else if (c == ':') {
            p++;
            t.kind = token::BIND;
            while (p < e && word_char(*p))
                t.s += *p++;
            if (t.s.empty())
                bad = true;
        } else if (word_char(c)) {
            t.kind = token::WORD;
            while (p < e && word_char(*p)) {
                char d = *p++;
                t.s += (d >= 'a' && d <= 'z') ? (char)(d - 'a' + 'A') : d;
            }
        } else if (strchr("(),.=", c)) {
            t.kind = token::PUNCT;
            t.s = c;
            p++;
        } else {
            bad = true;
        }
        return t;
    }
};

struct parser {
    lexer lx;
    token cur;
    int code = 0;
    std::string msg;

    parser(const char *t, size_t n) : lx{t, t + n} { advance(); }
    void advance()
    {
        cur = lx.next();
        if (lx.bad && !code) {
            code = 911;
            msg = "invalid character";
        }
    }
    bool fail(int c, const char *m)
    {
        if (!code) {
            code = c;
            msg = m;
        }
        return false;
    }
    bool is_word(const char *w) const { return cur.kind == token::WORD && cur.s == w; }
    bool is_punct(char c) const { return cur.kind == token::PUNCT && cur.s[0] == c; }
    bool expect_word(const char *w, int c, const char *m)
    {
        if (!is_word(w))
            return fail(c, m);
        advance();
        return true;
    }
    bool expect_punct(char ch, int c, const char *m)
    {
        if (!is_punct(ch))
            return fail(c, m);
        advance();
        return true;
    }
    bool name(std::string &out)
    {
        if (cur.kind != token::WORD && cur.kind != token::QUOTED)
            return fail(904, "invalid identifier");
        if (cur.kind == token::WORD && !(cur.s[0] >= 'A' && cur.s[0] <= 'Z') && (unsigned char)cur.s[0] < 0x80)
            return fail(904, "invalid identifier");
        out = cur.s;
        advance();
        return true;
    }
    bool qualified(std::string &schema, std::string &table)
    {
        std::string a;
        if (!name(a))
            return false;
        if (is_punct('.')) {
            advance();
            schema = a;
            return name(table);
        }
        table = a;
        return true;
    }
    bool number(long &v)
    {
        if (cur.kind != token::NUMBER || cur.s.size() > 9)
            return fail(902, "invalid datatype");
        v = atol(cur.s.c_str());
        advance();
        return true;
    }
    bool end()
    {
        if (cur.kind != token::END)
            return fail(933, "SQL command not properly ended");
        return !code;
    }

    // One column type; fills the Oracle text and the SQLite declaration.
    bool type(sql_column &c)
    {
        if (cur.kind != token::WORD)
            return fail(902, "invalid datatype");
        std::string w = cur.s;
        advance();
        auto paren_len = [&](bool required, long lo, long hi, std::string &txt) -> bool {
            if (!is_punct('(')) {
                if (required)
                    return fail(906, "missing left parenthesis");
                return true;
            }
            advance();
            long n;
            if (!number(n))
                return false;
            if (n < lo || n > hi)
                return fail(910, "specified length too long for its datatype");
            txt += '(';
            txt += std::to_string(n);
            if (is_punct(',')) {   // NUMBER(p,s)
                advance();
                long s;
                if (!number(s))
                    return false;
                txt += ',';
                txt += std::to_string(s);
            }
            txt += ")";
            return expect_punct(')', 907, "missing right parenthesis");
        };
        c.type = w;
        if (w == "VARCHAR2" || w == "NVARCHAR2") {
            if (!paren_len(true, 1, 32767, c.type))
                return false;
            c.decl = c.type;
        } else if (w == "CHAR" || w == "NCHAR") {
            if (!paren_len(false, 1, 32767, c.type))
                return false;
            c.decl = c.type;
        } else if (w == "RAW") {
            if (!paren_len(true, 1, 32767, c.type))
                return false;
            c.decl = c.type;
        } else if (w == "NUMBER") {
            if (!paren_len(false, 1, 38, c.type))
                return false;
            // No declared affinity: a NUMBER holds INTEGER, REAL or exact
            // decimal TEXT, and SQLite's numeric affinity would round the text.
            c.decl = "/* " + c.type + " */";
        } else if (w == "LONG") {
            if (is_word("RAW")) {
                advance();
                c.type = "LONG RAW";
                c.decl = c.type;
            } else {
                c.decl = "/* LONG */";   // character data, never a number
            }
        } else if (w == "DATE" || w == "BINARY_FLOAT" || w == "BINARY_DOUBLE" || w == "CLOB" || w == "NCLOB" ||
                   w == "BLOB") {
            c.decl = c.type;
        } else if (w == "TIMESTAMP") {
            if (!paren_len(false, 0, 9, c.type))
                return false;
            if (is_word("WITH")) {
                advance();
                bool local = false;
                if (is_word("LOCAL")) {
                    advance();
                    local = true;
                }
                if (!expect_word("TIME", 902, "invalid datatype") || !expect_word("ZONE", 902, "invalid datatype"))
                    return false;
                c.type += local ? " WITH LOCAL TIME ZONE" : " WITH TIME ZONE";
            }
            c.decl = c.type;
        } else if (w == "INTERVAL") {
            if (is_word("YEAR")) {
                advance();
                c.type += " YEAR";
                if (!paren_len(false, 0, 9, c.type) || !expect_word("TO", 902, "invalid datatype") ||
                    !expect_word("MONTH", 902, "invalid datatype"))
                    return false;
                c.type += " TO MONTH";
            } else if (is_word("DAY")) {
                advance();
                c.type += " DAY";
                if (!paren_len(false, 0, 9, c.type) || !expect_word("TO", 902, "invalid datatype") ||
                    !expect_word("SECOND", 902, "invalid datatype"))
                    return false;
                c.type += " TO SECOND";
                if (!paren_len(false, 0, 9, c.type))
                    return false;
            } else {
                return fail(902, "invalid datatype");
            }
            c.decl = sql_quote_ident(c.type);   // "TO" is a keyword in SQLite
        } else {
            return fail(902, "invalid datatype");
        }
        return true;
    }

    bool alter(sql_statement &st)
    {
        advance();
        if (!expect_word("SESSION", 940, "invalid ALTER command") || !expect_word("SET", 922, "missing or invalid option") ||
            !expect_word("CURRENT_SCHEMA", 922, "missing or invalid option") ||
            !expect_punct('=', 922, "missing or invalid option"))
            return false;
        st.kind = sql_statement::ALTER_SCHEMA;
        return name(st.schema) && end();
    }

    bool create(sql_statement &st)
    {
        advance();
        if (!expect_word("TABLE", 901, "invalid CREATE command"))
            return false;
        st.kind = sql_statement::CREATE_TABLE;
        if (!qualified(st.schema, st.table) || !expect_punct('(', 906, "missing left parenthesis"))
            return false;
        for (;;) {
            sql_column c;
            if (!name(c.name) || !type(c))
                return false;
            for (const sql_column &o : st.cols)
                if (o.name == c.name)
                    return fail(957, "duplicate column name");
            st.cols.push_back(c);
            if (st.cols.size() > 1000)
                return fail(1792, "maximum number of columns in a table or view is 1000");
            if (is_punct(',')) {
                advance();
                continue;
            }
            if (!expect_punct(')', 907, "missing right parenthesis"))
                return false;
            break;
        }
        return end();
    }

    bool bind_list(int &n)
    {
        for (;;) {
            if (cur.kind != token::BIND)
                return fail(984, "column not allowed here");
            n++;
            advance();
            if (!is_punct(','))
                return true;
            advance();
        }
    }

    bool insert(sql_statement &st)
    {
        advance();
        if (!expect_word("INTO", 925, "missing INTO keyword"))
            return false;
        st.kind = sql_statement::INSERT;
        if (!qualified(st.schema, st.table) || !expect_punct('(', 906, "missing left parenthesis"))
            return false;
        for (;;) {
            sql_column c;
            if (!name(c.name))
                return false;
            for (const sql_column &o : st.cols)
                if (o.name == c.name)
                    return fail(957, "duplicate column name");
            st.cols.push_back(c);
            if (!is_punct(','))
                break;
            advance();
        }
        if (!expect_punct(')', 907, "missing right parenthesis") || !expect_word("VALUES", 926, "missing VALUES keyword") ||
            !expect_punct('(', 906, "missing left parenthesis") || !bind_list(st.nvalues) ||
            !expect_punct(')', 907, "missing right parenthesis"))
            return false;
        if (st.nvalues < (int)st.cols.size())
            return fail(947, "not enough values");
        if (st.nvalues > (int)st.cols.size())
            return fail(913, "too many values");
        if (is_word("RETURNING") || is_word("RETURN")) {
            advance();
            for (;;) {
                std::string n;
                if (!name(n))
                    return false;
                st.returning.push_back(n);
                if (!is_punct(','))
                    break;
                advance();
            }
            int nb = 0;
            if (!expect_word("INTO", 925, "missing INTO keyword") || !bind_list(nb))
                return false;
            if (nb < (int)st.returning.size())
                return fail(947, "not enough values");
            if (nb > (int)st.returning.size())
                return fail(913, "too many values");
        }
        return end();
    }
};

}   // namespace

int sql_parse(const char *text, size_t len, sql_statement &st, std::string &msg)
{
    st = sql_statement();
    parser ps(text, len);
    bool ok = false;
    if (ps.is_word("ALTER"))
        ok = ps.alter(st);
    else if (ps.is_word("CREATE"))
        ok = ps.create(st);
    else if (ps.is_word("INSERT"))
        ok = ps.insert(st);
    else
        ps.fail(900, "invalid SQL statement");
    if (ok && !ps.code)
        return 0;
    if (!ps.code)
        ps.fail(900, "invalid SQL statement");
    msg = ps.msg;
    st.kind = sql_statement::NONE;
    return ps.code;
}
