#!/usr/bin/env python3
"""Reads a workbook with openpyxl and prints what it holds as JSON, for the export tests.

Usage: read_xlsx.py FILE  -> {"sheets", "properties", "freeze", "widths", "margins", "cells"}
Each cell: [row, column, data_type, is_date, value, number_format, bold]; rows and columns
count from 1, dates as ISO text, every other value as openpyxl gives it.
"""
import datetime
import json
import sys

import openpyxl


def main():
    wb = openpyxl.load_workbook(sys.argv[1])
    ws = wb.worksheets[0]
    cells = []
    for row in ws.iter_rows():
        for c in row:
            if c.value is None:
                continue
            value = c.value
            if isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
                value = value.isoformat()
            cells.append([c.row, c.column, c.data_type, bool(c.is_date), value,
                          c.number_format, bool(c.font.b)])
    props = wb.properties
    out = {
        "sheets": wb.sheetnames,
        "properties": {"title": props.title, "subject": props.subject,
                       "description": props.description, "creator": props.creator},
        "freeze": ws.freeze_panes,
        "widths": {k: v.width for k, v in ws.column_dimensions.items()},
        "margins": {"left": ws.page_margins.left, "right": ws.page_margins.right,
                    "top": ws.page_margins.top, "bottom": ws.page_margins.bottom},
        "cells": cells,
    }
    json.dump(out, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
