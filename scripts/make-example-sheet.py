#!/usr/bin/env python3
"""Makes docs/examples/exam-sheet.csv, the made-up answer sheet of the walk-through
in docs/guide/answer-sheets.md.

A 40-item test with k = 4 alternatives (A to D) taken by 200 examinees. Each examinee has
a degree of knowledge drawn from Beta(2.5, 2) (mostly between 0.2 and 0.9) and knows each
item with that probability; a known item is marked right. An item not known is left out
with the examinee's own omission rate (most examinees rarely omit, some often), and
otherwise guessed, with the positions favoured as real examinees tend to favour them:
B and C, the middle ones, more than A and D. One examinee was absent: the row is empty.

The sheet is fixed by the seed: run the script again and the same bytes come out.
Usage: scripts/make-example-sheet.py > docs/examples/exam-sheet.csv
"""
import random
import sys

SEED = 20261210
ITEMS = 40
K = 4
EXAMINEES = 200
ABSENT = 137                       # the examinee without a single mark
GUESS = [0.20, 0.27, 0.33, 0.20]   # the positions A..D when guessing
LETTERS = "ABCD"


def main():
    rng = random.Random(SEED)
    key = [1 + i % K for i in range(ITEMS)]   # every position ten times
    rng.shuffle(key)
    out = sys.stdout
    out.write("id," + ",".join("q%02d" % (i + 1) for i in range(ITEMS)) + "\n")
    out.write("KEY," + ",".join(LETTERS[p - 1] for p in key) + "\n")
    for e in range(1, EXAMINEES + 1):
        knowledge = rng.betavariate(2.5, 2.0)
        omission = rng.choice([0.0, 0.0, 0.0, 0.02, 0.05, 0.1, 0.3])
        marks = []
        for correct in key:
            if e == ABSENT:
                marks.append("")
            elif rng.random() < knowledge:
                marks.append(LETTERS[correct - 1])
            elif rng.random() < omission:
                marks.append("")
            else:
                marks.append(rng.choices(LETTERS, weights=GUESS)[0])
        out.write("S%03d," % e + ",".join(marks) + "\n")


if __name__ == "__main__":
    main()
