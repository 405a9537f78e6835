// The itemset writer: lines through the item order, to a file, to an open
// stream with names and a tally of lengths, or to a callback. Failing files
// are rows of the end-to-end tables.
#include "io/callback_sink.h"
#include "io/fsout.h"

#include <gtest/gtest.h>

#include <random>

#include "io/text_escape.h"
#include "support/test_support.h"

namespace zub {
namespace {

TEST(Writer, LinesGoThroughTheItemOrderAndSurviveTheBuffer) {
  test::TempDir dir;
  dir.write("out", "old content that must go\n");
  std::string expected = "1 2 (5)\n7 3 (12)\n(3)\n1 3 (2147483647)\n";
  {
    FSout out(dir.file("out").c_str());
    ASSERT_TRUE(out.isOpen());
    const int order_item[] = {2, 1, 7, 3};
    out.set_order(order_item);
    const int itemset[] = {1, 0}, pair[] = {2, 3};
    out.write_itemset(2, itemset, 5);
    out.write_itemset(2, pair, 12);
    out.write_itemset(0, nullptr, 3);
    out.write_items(1, itemset);  // one line in two parts
    out.write_itemset(1, pair + 1, 2147483647);
    // Far more lines than the buffer holds.
    std::vector<int> order(1000);
    for (int k = 0; k < 1000; ++k) order[k] = 1000000 + k;
    out.set_order(order.data());
    for (int k = 0; k < 20000; ++k) {
      const int items[] = {k % 1000, (k * 7) % 1000};
      out.write_itemset(2, items, k);
      expected += std::to_string(order[items[0]]) + " " + std::to_string(order[items[1]]) + " (" +
                  std::to_string(k) + ")\n";
    }
    out.close();
  }
  EXPECT_EQ(dir.read("out"), expected);
}

TEST(Writer, OpenStreamWithNames) {
  std::FILE* f = std::tmpfile();
  const std::string long_name(100000, 'x');  // longer than the write buffer
  const std::vector<std::string> names = {"milk", "bread", long_name};
  {
    FSout out(f, "the stream");
    const int order_item[] = {1, 2, 0};
    out.set_order(order_item);
    out.set_names(&names);
    const int items[] = {2, 0, 1};
    out.write_itemset(2, items, 4);
    out.write_items(1, items);  // one line in two parts
    out.write_itemset(1, items + 2, 1);
    out.write_itemset(0, nullptr, 7);
    out.close();
  }
  EXPECT_EQ(test::read_all(f), "milk bread (4)\nmilk " + long_name + " (1)\n(7)\n");
  EXPECT_EQ(std::fputc('x', f), 'x') << "the stream stays open";
  std::fclose(f);
}

// The callback sink hands each record's items as file ids; an exception of
// the callback leaves the sink usable for the next batch.
TEST(Sinks, CallbackGetsFileIdsAndItsExceptionBack) {
  std::vector<std::pair<std::vector<int>, int>> got;
  const int order_item[] = {7, 3, 5};
  CallbackSink sink(
      [&](std::span<const int> ids, int support) {
        if (support == 13) throw std::runtime_error("stop");
        got.emplace_back(std::vector<int>(ids.begin(), ids.end()), support);
      },
      order_item);
  const std::vector<int> first{3, 0, 1, 2, 2, 1, 0, 13, 0, 5};
  EXPECT_THROW(sink.take(first), std::runtime_error);
  const std::vector<int> second{0, 9};
  sink.take(second);
  EXPECT_EQ(got, (std::vector<std::pair<std::vector<int>, int>>{{{7, 3, 5}, 2}, {{}, 9}}));
  CallbackSink positions([&](std::span<const int> ids, int support) {
    got.emplace_back(std::vector<int>(ids.begin(), ids.end()), support);
  });
  got.clear();
  positions.take(first);
  EXPECT_EQ(got, (std::vector<std::pair<std::vector<int>, int>>{{{0, 1, 2}, 2}, {{0}, 13}, {{}, 5}}))
      << "no table: positions";
}

// Lines that share prefixes of every length with the line before, the way
// the miners write them, to a file with ids, with names, and to a callback
// sink: against lines formatted one by one. The writer takes some lines in
// two parts and the others as records in batches, as a recorder hands them.
TEST(Writer, LinesSharingPrefixesWithTheLineBefore) {
  std::mt19937 rng(7);
  std::vector<int> ids(12), name_order(12);  // by position: ids, or name numbers
  std::vector<std::string> names(12);
  for (int p = 0; p < 12; ++p) {
    ids[p] = p % 3 == 0 ? 2147483647 - p : static_cast<int>(rng() % 100000);
    name_order[p] = 11 - p;
    names[p] = std::string(1 + rng() % (p == 5 ? 70000 : 6), char('a' + p));  // one longer than the buffer
  }
  for (const bool named : {false, true}) {
    const std::vector<int>& order = named ? name_order : ids;
    test::TempDir dir;
    std::string expected;
    std::vector<std::pair<std::vector<int>, int>> sunk, expected_sunk;
    {
      FSout out(dir.file("out").c_str());
      CallbackSink sink(
          [&](std::span<const int> got, int support) {
            sunk.emplace_back(std::vector<int>(got.begin(), got.end()), support);
          },
          order.data());
      out.set_order(order.data());
      if (named) out.set_names(&names);
      std::vector<int> batch;
      std::vector<int> line;
      for (int n = 0; n < 3000; ++n) {
        // A prefix of the line before (after a long one, most of it) ...
        line.resize(n % 400 == 1 ? line.size() - rng() % 8 : rng() % (line.size() + 1));
        while (rng() % 3 != 0 && line.size() < 9) line.push_back(static_cast<int>(rng() % 12));  // ... and more
        if (n % 400 < 2) {  // around the 65536 items whose text the writer keeps, without the long name (5 or 6)
          const std::size_t length = 65530 + rng() % 20;
          while (line.size() < length) {
            const int p = static_cast<int>(rng() % 10);
            line.push_back(p < 5 ? p : p + 2);
          }
        }
        const int support = static_cast<int>(rng() % 1000), split = static_cast<int>(rng() % (line.size() + 1));
        std::vector<int> line_ids;
        for (int p : line) {
          expected.append(named ? names[order[p]] : std::to_string(order[p])).append(" ");
          line_ids.push_back(order[p]);
        }
        expected.append("(").append(std::to_string(support)).append(")\n");
        expected_sunk.emplace_back(line_ids, support);
        const std::size_t at = batch.size();
        batch.push_back(static_cast<int>(line.size()));
        batch.insert(batch.end(), line.begin(), line.end());
        batch.push_back(support);
        sink.take(std::span<const int>(batch).subspan(at));
        if (n % 5 == 0) {
          out.take(batch);
        } else if (n % 5 == 1) {
          out.take(std::span<const int>(batch).first(at));
          out.write_items(split, line.data());  // one line in two parts
          out.write_itemset(static_cast<int>(line.size()) - split, line.data() + split, support);
        } else {
          continue;  // kept for the next batch
        }
        batch.clear();
      }
      out.take(batch);
      out.close();
    }
    EXPECT_EQ(dir.read("out"), expected) << (named ? "names" : "ids");
    EXPECT_EQ(sunk, expected_sunk);
  }
}

// The escapes of CSV fields and JSON strings, byte by byte, and shares that
// read back as the same double; names reach them through the writer's
// styles (the reader never makes a name with a comma, so a field's comma is
// checked here).
TEST(Writer, CsvAndJsonEscapes) {
  const std::pair<std::string, std::string> csv[] = {
      {"plain words", "plain words"}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""}, {"cr\r", "\"cr\r\""}, {"", ""}};
  for (const auto& [field, want] : csv) {
    std::string got;
    append_csv_field(got, field);
    EXPECT_EQ(got, want);
  }
  const std::pair<std::string, std::string> json[] = {
      {"milk", "\"milk\""},
      {"q\"b\\s", "\"q\\\"b\\\\s\""},
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8d\x9e", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8d\x9e\""},  // valid UTF-8 kept
      {"\xff\xc3", "\"\\u00ff\\u00c3\""},              // a lone byte, a cut sequence
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},   // a surrogate is not UTF-8
      {"\xc0\xaf", "\"\\u00c0\\u00af\""},              // nor an overlong form
  };
  for (const auto& [text, want] : json) {
    std::string got;
    append_json_string(got, text);
    EXPECT_EQ(got, want);
  }
  for (const auto& [count, total] : {std::pair{1LL, 3LL}, {2LL, 3LL}, {7LL, 100LL}, {5LL, 0LL}, {88162LL, 88162LL}}) {
    std::string got;
    append_share(got, count, total);
    EXPECT_EQ(std::stod(got), total > 0 ? static_cast<double>(count) / static_cast<double>(total) : 0.0) << got;
  }
  std::string inf;
  append_double(inf, 1.0 / 0.0);
  EXPECT_EQ(inf, "inf");

  // Through the writer: a CSV header at once, sorted items, names escaped.
  const std::vector<std::string> names = {"b\"q", "a", "\xff"};
  const int order[] = {0, 1, 2};
  std::string out;
  for (const auto format : {LineStyle::Format::csv, LineStyle::Format::json}) {
    test::TempDir dir;
    {
      FSout w(dir.file("out").c_str());
      w.set_order(order);
      w.set_names(&names);
      w.set_style(LineStyle{format, true, 4});
      const int items[] = {2, 0, 1};
      w.write_itemset(3, items, 3);
      w.close();
    }
    out += dir.read("out");
  }
  EXPECT_EQ(out,
            "items,support,share\n\"a b\"\"q \xff\",3,0.75\n"
            "{\"items\":[\"a\",\"b\\\"q\",\"\\u00ff\"],\"support\":3,\"share\":0.75}\n");
}

}  // namespace
}  // namespace zub
