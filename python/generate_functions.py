#!/usr/bin/env python3
"""Writes the function table of the tavik2 Python package from the export table and the public headers.

The interface is read by api_model (shared with the .NET binding's generator). Nothing here is a
second list: a function added to the table and declared in a header appears in the package at the
next build.

usage: generate_functions.py EXPORT_TABLE INCLUDE_DIR OUTPUT
"""
import pprint
import sys

import api_model


def main():
    table, include_dir, output = sys.argv[1:4]
    model = api_model.read(table, include_dir)
    families, plans = {}, {}
    for family, (factory, release, ops) in api_model.families(model.functions).items():
        families[family] = (factory, release, sorted(ops))
        for name, (_result, params) in ops.items():
            plans[name] = api_model.plan(params, ops, model.structs)
    with open(output, "w", encoding="utf-8") as out:
        out.write("# Generated at build time from the export table and the public headers; do not edit.\n")
        out.write("# FUNCTIONS: (ordinal, family, name, result type, [(parameter, type)]).\n")
        out.write("FUNCTIONS = " + pprint.pformat(model.functions, width=110) + "\n")
        out.write("STRUCTS = " + pprint.pformat(model.structs, width=110) + "\n")
        out.write("CONSTANTS = " + pprint.pformat(model.constants, width=110) + "\n")
        out.write("# FAMILIES: family -> (factory, release, [operations]) (api_model.families).\n")
        out.write("FAMILIES = " + pprint.pformat(families, width=110) + "\n")
        out.write("# PLANS: how each parameter after the handle travels (api_model.plan).\n")
        out.write("PLANS = " + pprint.pformat(plans, width=110) + "\n")


if __name__ == "__main__":
    main()
