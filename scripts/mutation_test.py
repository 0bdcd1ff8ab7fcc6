#!/usr/bin/env python3
"""Checks of scripts/mutation.py that need no build: which mutants a piece of code gives, the
sample, the configuration, and that files come back after a run is stopped or killed."""

import json
import os
import signal
import subprocess
import sys
import tempfile
import textwrap
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mutation  # noqa: E402

CODE = textwrap.dedent("""\
    #include <vector>
    // if (a < b) { return true; }  a comment is not code
    bool Check(int a, int b, const char* s) {
        std::vector<int> v = std::min<int>(a, b);  // a template is no comparison
        if (a < b && s[0] == '<') {
            return false;
        }
        if (a >= b) {
            return Status::Done;
        }
        const char* text = "a > b || c";
        while (a != b) {
            continue;
        }
        return a << 2 > 0;
    }
    """)


def mutated(mutants):
    return {(m.number, m.operator, m.mutated.strip()) for m in mutants}


class Mutants(unittest.TestCase):
    def setUp(self):
        self.mutants = mutation.mutants_of("x.cpp", CODE + "Status s = Status::Failed;\n")
        self.found = mutated(self.mutants)

    def test_every_operator_on_the_lines_it_fits(self):
        for expected in [
            (5, "flip", "if (a >= b && s[0] == '<') {"),
            (5, "bound", "if (a <= b && s[0] == '<') {"),
            (5, "andor", "if (a < b || s[0] == '<') {"),
            (5, "flip", "if (a < b && s[0] != '<') {"),
            (5, "drop-if", "if (false) {"),
            (6, "drop-return", ";  // return false;"),
            (6, "value", "return true;"),
            (8, "bound", "if (a > b) {"),
            (9, "value", "return Status::Failed;"),
            (12, "flip", "while (a == b) {"),
            (15, "bound", "return a << 2 >= 0;"),
        ]:
            self.assertIn(expected, self.found)

    def test_comments_strings_templates_and_shifts_are_left_alone(self):
        lines = {number for number, _, _ in self.found}
        self.assertNotIn(1, lines)  # #include <vector>
        self.assertNotIn(2, lines)  # a comment
        self.assertNotIn(4, lines)  # std::min<int>
        self.assertNotIn(11, lines)  # a string
        for _, _, text in self.found:
            self.assertNotIn("<<=", text)
            self.assertNotIn("< <", text)
        # Only an if's jumps are dropped: not a loop's, not the function's last return.
        self.assertNotIn((13, "drop-return", ";  // continue;"), self.found)
        self.assertNotIn((15, "drop-return", ";  // return a << 2 > 0;"), self.found)

    def test_keys_name_each_mutant_once_and_without_its_line_number(self):
        text = "int f(int a, int b) {\n    if (a < b && b < 9) {\n        return 0;\n    }\n" \
               "    if (a) {\n        return 0;\n    }\n    return 1;\n}\n"
        mutants = mutation.mutants_of("x.cpp", text)
        mutation.set_keys(mutants, text)
        keys = [(m.operator, m.key) for m in mutants]
        self.assertEqual(len(keys), len(set(keys)))
        self.assertIn(("drop-return", "return 0; #2"), keys)
        self.assertIn(("flip", "if (a < b && b < 9) { => if (a < b && b >= 9) {"), keys)
        self.assertIn(("andor", "if (a < b && b < 9) {"), keys)
        # Lines added above leave every key as it was.
        moved = mutation.mutants_of("x.cpp", "// a new first line\n" + text)
        mutation.set_keys(moved, "// a new first line\n" + text)
        self.assertEqual(sorted(keys), sorted((m.operator, m.key) for m in moved))

    def test_the_sample_depends_on_the_seed_only(self):
        one = mutation.sample(self.mutants, 5, "7", "x.cpp")
        self.assertEqual(len(one), 5)
        self.assertEqual(mutated(one), mutated(mutation.sample(self.mutants, 5, "7", "x.cpp")))
        self.assertNotEqual(mutated(one), mutated(mutation.sample(self.mutants, 5, "8", "x.cpp")))
        self.assertEqual([m.number for m in one], sorted(m.number for m in one))


class Configuration(unittest.TestCase):
    def test_files_programs_filters_and_equivalents(self):
        with tempfile.NamedTemporaryFile("w", suffix=".conf", delete=False) as f:
            f.write("# comment\n[files]\nio/a.cpp  fast_tests slow_tests:Reader*\n\n"
                    "[equivalent]\nio/a.cpp | bound | if (a <= b) { | a is never b here\n"
                    "io/a.cpp | flip | x = a | b; | an or of bits is no comparison\n")
        try:
            config = mutation.read_config(f.name)
        finally:
            os.remove(f.name)
        self.assertEqual(config.order, ["io/a.cpp"])
        self.assertEqual(config.files["io/a.cpp"], [("fast_tests", None),
                                                    ("slow_tests", "Reader*")])
        self.assertEqual(config.equivalent[0]["line"], "if (a <= b) {")
        self.assertEqual(config.equivalent[0]["reason"], "a is never b here")
        self.assertEqual(config.equivalent[1]["line"], "x = a | b;")

    def test_the_tree_configuration_names_existing_files(self):
        config = mutation.read_config(mutation.DEFAULT_CONFIG)
        self.assertTrue(config.order)
        for path in config.order:
            self.assertTrue(os.path.isfile(os.path.join(mutation.ROOT, path)), path)


class PuttingBack(unittest.TestCase):
    def setUp(self):
        self.tree = tempfile.TemporaryDirectory()
        self.addCleanup(self.tree.cleanup)
        self.saved_root = mutation.ROOT
        mutation.ROOT = self.tree.name
        self.addCleanup(setattr, mutation, "ROOT", self.saved_root)
        os.makedirs(os.path.join(self.tree.name, "io"))
        self.path = os.path.join(self.tree.name, "io", "a.cpp")
        with open(self.path, "w") as f:
            f.write("original\n")
        os.utime(self.path, ns=(1_000_000_000, 2_000_000_000))
        # The build compiled io/a.cpp into one object.
        self.build = os.path.join(self.tree.name, "build-mutation")
        self.object = os.path.join(self.build, "a.cpp.o")
        os.makedirs(self.build)
        with open(os.path.join(self.build, "compile_commands.json"), "w") as f:
            json.dump([{"directory": self.build, "file": self.path, "output": "a.cpp.o",
                        "command": "c++ -c a.cpp"}], f)
        with open(self.object, "w") as f:
            f.write("compiled from a mutant")

    def assert_original(self):
        with open(self.path) as f:
            self.assertEqual(f.read(), "original\n")
        # The old time stamp for the other builds, no mutant's object for this one.
        self.assertEqual(os.stat(self.path).st_mtime_ns, 2_000_000_000)
        self.assertFalse(os.path.exists(self.object))

    def test_put_back_restores_bytes_and_time_stamp(self):
        restorer = mutation.Restorer(self.build)
        restorer.write("io/a.cpp", "mutant one\n")
        restorer.write("io/a.cpp", "mutant two\n")
        restorer.put_back("io/a.cpp")
        self.assert_original()
        self.assertFalse(os.path.exists(restorer.folder))

    def test_a_header_comes_back_with_a_new_time_stamp(self):
        header = os.path.join(self.tree.name, "io", "a.h")
        with open(header, "w") as f:
            f.write("int f();\n")
        os.utime(header, ns=(1_000_000_000, 2_000_000_000))
        restorer = mutation.Restorer(self.build)
        restorer.write("io/a.h", "long f();\n")
        restorer.put_back("io/a.h")
        with open(header) as f:
            self.assertEqual(f.read(), "int f();\n")
        # No object says what was built from it: every build must look at it again.
        self.assertGreater(os.stat(header).st_mtime_ns, 2_000_000_000)

    def test_a_killed_run_is_repaired_by_the_next(self):
        mutation.Restorer(self.build).write("io/a.cpp", "mutant\n")  # never put back
        mutation.Restorer(self.build).repair_left_over()
        self.assert_original()

    def test_a_stopped_process_puts_the_file_back(self):
        # A child that mutates the file, then waits to be stopped as Ctrl-C would stop it.
        script = textwrap.dedent(f"""\
            import signal, sys, time
            sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})
            import mutation
            mutation.ROOT = {self.tree.name!r}
            restorer = mutation.Restorer({self.build!r})
            for s in mutation.SIGNALS:
                signal.signal(s, mutation.stop_on_signal)
            try:
                restorer.write("io/a.cpp", "mutant\\n")
                print("mutated", flush=True)
                time.sleep(60)
            except mutation.Stop:
                pass
            finally:
                restorer.put_back_all()
            """)
        for signum in (signal.SIGINT, signal.SIGTERM):
            with subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE,
                                  text=True) as child:
                self.assertEqual(child.stdout.readline(), "mutated\n")
                child.send_signal(signum)
                self.assertEqual(child.wait(timeout=30), 0)
            self.assert_original()


if __name__ == "__main__":
    unittest.main()
