#pragma once
// The host's database connection and the query component the screen and the server use.
// Two engines behind one seam: SQLite (the embedded default, one file) and PostgreSQL.
// SQL texts carry :P_NAME parameters, bound by name and never spliced into the text.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dataset/dataset.h"

namespace kve {

// One bound parameter value. Texts are UTF-8; a date travels as a date (no time of day).
struct SqlParam {
  enum class Kind { Null, Text, Integer, Float, Date, DateTime };
  std::string name;  // without the colon: "P_CDFILIAL"
  Kind kind = Kind::Null;
  std::string text;
  int64_t integer = 0;
  double real = 0;
  TDateTime when;
  // False for a parameter that was named but never given a value: running a text that uses
  // it raises Error, rather than binding a null nobody asked for.
  bool set = true;
};

// A result column as far as the engine describes it.
struct ResultColumn {
  std::string name;
  FieldType type = FieldType::String;
  int width = 0;       // declared characters of a text column; 0 when not known
  bool fixed = false;  // CHAR(n): fixed-width text
  bool typed = true;   // false: an SQLite expression, typed by its first non-null value
};

// Takes a statement's rows one at a time, as the engine hands them over, for a caller that
// writes them somewhere else and never needs them all at once (the server's table images).
// Each value is given once per row, in column order; a text is valid only during the call.
class RowReceiver {
 public:
  virtual ~RowReceiver() = default;
  // Before the first row: the columns, and the statement as an error should name it.
  virtual void Begin(std::vector<ResultColumn> columns, std::string context) = 0;
  virtual void Null(int i) = 0;
  virtual void Int(int i, int64_t v) = 0;
  virtual void Float(int i, double v) = 0;
  virtual void Text(int i, std::string_view v) = 0;
  virtual void EndRow() = 0;
};

// A connection. Not thread-safe: one connection per thread.
class Database {
 public:
  virtual ~Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // "sqlite:PATH" (":memory:" allowed) or "postgresql://..."; raises Error naming the URL.
  // Without `createFile`, a SQLite file that does not exist is an IoError, never created.
  static std::unique_ptr<Database> Open(std::string_view url, bool createFile = true);

  virtual std::string_view Dialect() const = 0;  // "sqlite" or "postgresql"
  // Runs a script of statements without parameters (schema, migrations).
  virtual void ExecuteScript(std::string_view sql) = 0;
  // Runs one statement; when it yields rows they replace `into`'s fields and rows (fields
  // typed from the result columns). Raises Error with the engine's message and the SQL.
  //
  // Field types: VARCHAR(n)/CHAR(n) give text of n characters (CHAR fixed-width), other
  // texts (TEXT, expressions) the longest value's length; SMALLINT, INTEGER, BIGINT give
  // 16-, 32-, 64-bit integers; NUMERIC, REAL, FLOAT give a float; DATE a date; TIMESTAMP a
  // date-time. SQLite types a computed column (no declared type: MIN(), ||, CAST) by its
  // first non-null value: integer, float or text, never a date; one holding both integers
  // and reals is a float column. PostgreSQL's unquoted
  // lower-case column names come back upper case. A value longer than its column's declared
  // width (SQLite does not enforce it) raises ValueError naming the column and the row.
  //
  // Parameters: every :NAME of the text must be in `params` (letter case ignored), else
  // Error. Texts are bound as untyped text, integers as 64-bit, dates as dates.
  virtual void Run(std::string_view sql, const std::vector<SqlParam>& params,
                   TClientDataSet* into) = 0;
  // The same, the rows handed to `rows` as they come instead of gathered into a dataset
  // (Begin is called only for a statement that yields rows). The values are the engine's:
  // converting them to the column's type is the receiver's business. The engines override
  // it; this default runs Run and replays the dataset.
  virtual void RunRows(std::string_view sql, const std::vector<SqlParam>& params,
                       RowReceiver& rows);
  // Appends rows to one table, each row one value per column in order, the fastest way the
  // engine offers (COPY on PostgreSQL; multi-row INSERT statements otherwise). Values are
  // data, as parameters are. Raises Error naming the table.
  virtual void InsertRows(std::string_view table, const std::vector<std::string>& columns,
                          const std::vector<std::vector<SqlParam>>& rows);

  virtual void Begin() = 0;
  // A transaction that only reads, from one snapshot of the data, and that neither waits for
  // writers nor makes them wait (SQLite: a deferred transaction on a WAL file; PostgreSQL:
  // REPEATABLE READ READ ONLY). Ended by Commit or Rollback.
  virtual void BeginReadOnly() { Begin(); }
  virtual void Commit() = 0;
  virtual void Rollback() = 0;

  // A connection kept idle between uses (a server's pool) gives back the memory it holds
  // that its next use can take again: SQLite unmaps its file. Not within a transaction.
  virtual void Idle() {}
  // Undoes Idle before the connection's next use.
  virtual void Resume() {}

 protected:
  Database() = default;
};

// The multi-dialect query component: SQL text with parameters, opened into rows that are
// walked like a dataset.
class TADOIBQuery {
 public:
  explicit TADOIBQuery(Database& db, std::string name = "query");

  void SetSQL(std::string_view sql);                // replaces the text (lines joined by \n)
  void SetSQL(const std::vector<std::string>& lines);
  const std::string& SQL() const { return sql_; }

  // A handle on one parameter; it stays valid when later parameters are created.
  class Param {
   public:
    explicit Param(SqlParam& p) : direct_(&p) {}
    Param(std::vector<SqlParam>& list, size_t index) : list_(&list), index_(index) {}
    void SetAsString(std::string_view v);
    void SetAsInteger(int64_t v);
    void SetAsFloat(double v);
    void SetAsDate(TDateTime v);
    void SetAsDateTime(TDateTime v);
    void Clear();
   private:
    SqlParam& p() { return direct_ ? *direct_ : (*list_)[index_]; }
    SqlParam* direct_ = nullptr;
    std::vector<SqlParam>* list_ = nullptr;
    size_t index_ = 0;
  };
  // Parameters are created on first use; every :NAME of the text must be set before Open.
  Param ParamByName(std::string_view name);

  void Open();     // runs the text and holds its rows; raises Error on an unset parameter
  void ExecSQL();  // runs a statement that yields no rows
  void Close();
  bool Active() const { return rows_.Active(); }
  bool Eof() const { return rows_.Eof(); }
  void First() { rows_.First(); }
  void Next() { rows_.Next(); }
  int RecordCount() const { return rows_.RecordCount(); }
  TField FieldByName(std::string_view name) { return rows_.FieldByName(name); }
  TClientDataSet& Rows() { return rows_; }

 private:
  Database& db_;
  std::string sql_;
  std::vector<SqlParam> params_;
  TClientDataSet rows_;
};

}  // namespace kve
