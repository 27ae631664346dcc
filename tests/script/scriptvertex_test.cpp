// The vertex type seen from scripts and from game code.
#include "script_fixture.h"
#include "scriptvertex.h"

using scripttest::Eval;
using scripttest::Exec;
using scripttest::ScriptTest;

namespace
{

TEST_F(ScriptTest, VertexOperationsFromScripts)
{
    struct Case
    {
        const char* expression;
        const char* expected;
    };
    const Case cases[] = {
        {"repr(vertex(1, 2, 3))", "'<1.000000 2.000000 3.000000>'"},
        {"str(vertex(-0.5, 0, 1e3))", "'<-0.500000 0.000000 1000.000000>'"},
        {"vertex(1, 2, 3) == vertex(1, 2, 3)", "True"},
        {"vertex(1, 2, 3) != vertex(1, 2, 4)", "True"},
        {"vertex(0, 0, 2) > vertex(1, 0, 0)", "True"},
        {"vertex(1, 0, 0) < vertex(0, 0, 2)", "True"},
        {"repr(vertex(1, 2, 3) + vertex(10, 20, 30))", "'<11.000000 22.000000 33.000000>'"},
        {"repr(vertex(1, 2, 3) - vertex(3, 2, 1))", "'<-2.000000 0.000000 2.000000>'"},
        {"repr(-vertex(1, -2, 0))", "'<-1.000000 2.000000 -0.000000>'"},
        {"repr(abs(vertex(-1, 2, -3)))", "'<1.000000 2.000000 3.000000>'"},
        {"(lambda v: +v is v)(vertex(1, 2, 3))", "True"},
        {"not vertex(0, 0, 0)", "True"},
        {"not vertex(0, 0, 1e-30)", "False"},
        {"vertex(1, 2, 3).y", "2.0"},
        {"vertex(0.1, 0, 0).x", "0.10000000149011612"},
        {"hash(vertex(1.5, 2, 3)) == hash(1.5) == hash(vertex(1.5, 9, 9))", "True"},
        {"len({vertex(1, 2, 3), vertex(1, 2, 3)})", "1"},
        {"vertex(True, 2, 3).x", "1.0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Eval(c.expression), c.expected) << c.expression;
}

TEST_F(ScriptTest, VertexErrorsFromScripts)
{
    struct Case
    {
        const char* statement;
        const char* error;
    };
    const Case cases[] = {
        {"vertex('a', 1, 2)", "TypeError: vertex() argument can't be converted to vertex"},
        {"vertex(1, 2, [])", "TypeError: vertex() argument can't be converted to vertex"},
        {"vertex(1, 2)", "TypeError: vertex() takes exactly 3 arguments (2 given)"},
        {"vertex(1, 2, 10**400)", "OverflowError: int too large to convert to float"},
        {"v = vertex(1, 2, 3); v.w = 1", "AttributeError: vertex has no attribute 'w'"},
        {"v = vertex(1, 2, 3); v.x = 'east'", "TypeError: must be real number, not str"},
        {"v = vertex(1, 2, 3); del v.x", "TypeError: vertex components cannot be deleted"},
        {"vertex(1, 2, 3).w", "AttributeError: 'vertex' object has no attribute 'w'"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Exec(c.statement), c.error) << c.statement;
    // No arithmetic with plain numbers: the message is the interpreter's own.
    for (const char* statement :
         {"vertex(1, 2, 3) + 1", "vertex(1, 2, 3) * 2", "2 - vertex(1, 2, 3)", "vertex(1, 2, 3) / 2"})
        EXPECT_EQ(Exec(statement).rfind("TypeError: unsupported operand", 0), 0u) << statement;
}

TEST_F(ScriptTest, VertexAssignmentStoresThirtyTwoBitReals)
{
    ASSERT_EQ(Exec("v = vertex(1, 2, 3)\nv.y = 0.1\nv.z = 7"), "");
    PyObject* v = PyDict_GetItemString(scripttest::MainDict(), "v");
    ASSERT_TRUE(ScriptIsVertex(v));
    auto* vertex = reinterpret_cast<ScriptVertex*>(v);
    EXPECT_EQ(vertex->x, 1.0f);
    EXPECT_EQ(vertex->y, 0.1f);
    EXPECT_EQ(vertex->z, 7.0f);
}

// The original comparison is not antisymmetric: two different vertices of the
// same length each compare as the smaller one. Scripts may rely on it, so it stays.
TEST_F(ScriptTest, VertexComparisonOfEqualLengthsIsSmallerBothWays)
{
    EXPECT_EQ(Eval("vertex(1, 0, 0) < vertex(0, 1, 0)"), "True");
    EXPECT_EQ(Eval("vertex(0, 1, 0) < vertex(1, 0, 0)"), "True");
    EXPECT_EQ(Eval("vertex(1, 0, 0) == vertex(0, 1, 0)"), "False");
    EXPECT_EQ(Eval("vertex(1, 0, 0) > vertex(0, 1, 0)"), "False");
    EXPECT_EQ(Eval("vertex(1, 0, 0) == (1, 0, 0)"), "False");
}

TEST_F(ScriptTest, GameCodeMakesAndReadsVertices)
{
    PyObject* made = ScriptNewVertex(1.25f, -2.0f, 3.5f);
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(ScriptIsVertex(made));
    EXPECT_EQ(Py_REFCNT(made), 1);
    EXPECT_EQ(ScriptIncRef(made), made);
    EXPECT_EQ(Py_REFCNT(made), 2);
    ScriptDecRef(made);
    ASSERT_EQ(PyDict_SetItemString(scripttest::MainDict(), "made", made), 0);
    ScriptDecRef(made);
    EXPECT_EQ(Eval("repr(made)"), "'<1.250000 -2.000000 3.500000>'");
    EXPECT_EQ(Eval("type(made) is type(vertex(0, 0, 0))"), "True");
    EXPECT_EQ(Eval("type(made)()").rfind("!TypeError", 0), 0u) << "only vertex() builds vertices";
    PyObject* number = PyFloat_FromDouble(1.0);
    EXPECT_FALSE(ScriptIsVertex(number));
    Py_DECREF(number);
}

} // namespace
