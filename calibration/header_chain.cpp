#include "calibration/header_chain.h"

#include "platform/file_beside_module.h"
#include "platform/platform.h"

#include <stdexcept>

namespace {

const char* const kChainFileName = "OptionsData.txt";
constexpr int kHeaderLines = 7;
constexpr int kSpotLine = 6;
constexpr int kForTextLine = 2;
constexpr int kOnTextLine = 4;

platform::FileBesideModule& chainFile()
{
    static platform::FileBesideModule file(kChainFileName);
    return file;
}

// Files written on Windows keep their carriage returns when read on other systems.
std::string readTextLine(std::istream& in)
{
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

// True when only white space is left before the end of the stream.
bool atEndOfData(std::istream& in)
{
    if (!in) {
        return true;
    }
    in >> std::ws;
    return in.eof();
}

}  // namespace

double spotFromLine(const std::string& line)
{
    // The runtime's own texts ("stod") name neither the fault nor the function; the users of the
    // chain have always shown these two.
    try {
        return std::stod(line);
    } catch (const std::out_of_range&) {
        throw std::out_of_range("stod argument out of range");
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("invalid stod argument");
    }
}

HeaderChain readHeaderChain(std::istream& in, std::size_t maxRows)
{
    HeaderChain chain;
    std::string spotLine;
    for (int line = 1; line <= kHeaderLines; ++line) {
        std::string text = readTextLine(in);
        if (line == kForTextLine) {
            chain.forText = text;
        } else if (line == kOnTextLine) {
            chain.onText = text;
        } else if (line == kSpotLine) {
            spotLine = text;
        }
    }
    chain.spot = spotFromLine(spotLine);

    while (!atEndOfData(in)) {
        if (chain.quotes.size() >= maxRows) {
            chain.tooManyRows = true;
            break;
        }
        OptionQuote q;
        if (!(in >> q.marketIV >> q.K >> q.T >> q.r >> q.d)) {
            chain.rowCutShort = true;
            break;
        }
        q.index = static_cast<std::int32_t>(chain.quotes.size());
        q.S = chain.spot;
        chain.quotes.push_back(q);
    }
    return chain;
}

std::string optionsDataPath() { return chainFile().path(); }

void setOptionsDataPath(const std::string& path) { chainFile().redirect(path); }
