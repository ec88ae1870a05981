#!/usr/bin/env python3
"""Makes the crash reporter's options file from its readable source.

usage: options-file.py --source FILE --out FILE

The output is byte for byte what TVexlorModuleOptions::SaveToFile writes for
the same values (the stream of the current version, strings scrambled), so
that the post-link step can put it into a program's data block without
running a Windows program. The names of the enumerations and sets are taken
from crash/engine/EOptions.h, the text identifiers, their default texts and
the report-header items from crash/engine/lang/MessageTextTable.h, and the
default page layout from crash/engine/options/EOptions.cpp: the source names
values, the C++ headers stay the one list of what they mean.

Source lines (blank lines and lines starting with '#' are ignored):
    Name = value        every option of the stream, each exactly once
    Filter = Active, "Class", "Message", ExceptionType, DialogType, HandlerType, ActionType
    Text mtIdentifier = "text"   a text that differs from its default
Values: true/false, decimal numbers, an enumeration member's name, a set as
{member, ...} or "all", a string as one or more C string literals (escapes
\\r \\n \\t \\" \\\\ \\xNN); an indented line continues the value before it (further literals
of a string, further members of a set),
and `default` for HTMLLayout (the library's page layout).
"""
import argparse
import os
import re
import struct
import sys

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
STRING_MASK = 0x4B

# The stream's fields in order (the filters, texts and TextsCollection follow).
FIELDS = [
    ('ActivateLog', 'bool'), ('ActivateHandle', 'bool'), ('LogOptions', 'set TLogOption'),
    ('AppendLogs', 'bool'), ('SaveLogFile', 'bool'), ('ForegroundTab', 'enum TForegroundType'),
    ('FreezeActivate', 'bool'), ('FreezeTimeout', 'int'), ('SMTPFrom', 'str'), ('SMTPHost', 'str'),
    ('SMTPPort', 'word'), ('SMTPUserID', 'str'), ('SMTPPassword', 'str'),
    ('TerminateBtnOperation', 'enum TTerminateBtnOperation'), ('ErrorsNumberToSave', 'int'),
    ('ErrorsNumberToShowTerminateBtn', 'int'), ('EMailAddresses', 'str'), ('EMailSubject', 'str'),
    ('EMailSendMode', 'enum TEmailSendMode'), ('ShowOptions', 'set TShowOption'), ('OutputPath', 'str'),
    ('WebSendMode', 'enum TWebSendMode'), ('WebURL', 'str'), ('WebUserID', 'str'), ('WebPassword', 'str'),
    ('WebPort', 'int'), ('AttachedFiles', 'str'), ('CommonSendOptions', 'set TCommonSendOption'),
    ('ExceptionDialogOptions', 'set TExceptionDialogOption'), ('AutoCloseDialogSecs', 'int'),
    ('SupportURL', 'str'), ('HTMLLayout', 'str'), ('CallStackOptions', 'set TCallStackOption'),
    ('BehaviourOptions', 'set TBehaviourOption'), ('LeaksOptions', 'set TLeaksOption'),
    ('AutoCrashOperation', 'enum TTerminateBtnOperation'), ('AutoCrashNumber', 'int'),
    ('AutoCrashMinutes', 'int'), ('CompiledFileOptions', 'set TCompiledFileOption'),
    ('ExceptionDialogType', 'enum TExceptionDialogType'), ('ProxyURL', 'str'), ('ProxyUserID', 'str'),
    ('ProxyPassword', 'str'), ('ProxyPort', 'word'), ('TrakerUserID', 'str'), ('TrakerPassword', 'str'),
    ('TrakerAssignTo', 'str'), ('TrakerProject', 'str'), ('TrakerCategory', 'str'), ('TrakerTrialID', 'str'),
    ('ZipPassword', 'str'),
]
TAIL_FIELDS = [('EMailMessage', 'str'), ('TextsCollection', 'str')]
FILTER_TYPES = ['bool', 'str', 'str', 'enum TFilterExceptionType', 'enum TFilterDialogType',
                'enum TFilterHandlerType', 'enum TFilterActionType']


class SourceError(Exception):
    pass


def read(path):
    with open(os.path.join(TOP, path), encoding='utf-8') as stream:
        return stream.read()


ESCAPES = {'r': b'\r', 'n': b'\n', 't': b'\t', '"': b'"', "'": b"'", '\\': b'\\', '0': b'\0'}


def c_literals(text):
    """The bytes of adjacent C string literals: characters in the code page
    of our 8-bit strings (1251), escapes as C has them, \\xNN a byte."""
    out = bytearray()
    for literal in re.findall(r'"((?:[^"\\]|\\.)*)"', text):
        index = 0
        while index < len(literal):
            char = literal[index]
            if char != '\\':
                out += char.encode('cp1251')
                index += 1
                continue
            code = literal[index + 1]
            if code == 'x':
                match = re.match(r'[0-9a-fA-F]{1,2}', literal[index + 2:])
                if not match:
                    raise SourceError(f'bad escape in "{literal}"')
                out.append(int(match.group(0), 16))
                index += 2 + len(match.group(0))
            elif code in ESCAPES:
                out += ESCAPES[code]
                index += 2
            else:
                raise SourceError(f'unknown escape \\{code} in "{literal}"')
    return bytes(out)


def enumerations():
    """Member names of every enumeration of EOptions.h, and the texts and
    report-header items of the text table."""
    enums = {}
    for name, body in re.findall(r'enum\s+(\w+)\s*:\s*std::uint8_t\s*\{([^}]*)\}', read('crash/engine/EOptions.h')):
        enums[name] = [member.strip() for member in body.split(',') if member.strip()]
    table = read('crash/engine/lang/MessageTextTable.h')
    texts_block = table[table.index('#define VEXLOR_MESSAGE_TYPES'):table.index('#define VEXLOR_SHOW_OPTIONS')]
    texts_block = re.sub(r'/\*.*?\*/', '', texts_block).replace('\\\n', '\n')
    texts = []
    for match in re.finditer(r'X\(\s*(mt\w+)\s*,((?:\s*"(?:[^"\\]|\\.)*")+)\s*\)', texts_block):
        texts.append((match.group(1), c_literals(match.group(2))))
    shows = re.findall(r'X\((so\w+),', table[table.index('#define VEXLOR_SHOW_OPTIONS'):])
    enums['TShowOption'] = shows
    if len(texts) != 157 or len(shows) != 48:
        raise SourceError(f'the text table gave {len(texts)} texts and {len(shows)} report items')
    return enums, texts


def default_html_layout():
    source = read('crash/engine/options/EOptions.cpp')
    match = re.search(r'kDefaultHTMLLayout\s*=((?:\s*"(?:[^"\\]|\\.)*")+)\s*;', source)
    if not match:
        raise SourceError('kDefaultHTMLLayout not found in EOptions.cpp')
    return c_literals(match.group(1))


class Writer:
    def __init__(self, enums):
        self.enums = enums
        self.out = bytearray()

    def value(self, kind, text, where):
        text = text.strip()
        if kind == 'bool':
            if text not in ('true', 'false'):
                raise SourceError(f'{where}: true or false expected, not {text!r}')
            self.out.append(1 if text == 'true' else 0)
        elif kind in ('int', 'word'):
            if not re.fullmatch(r'-?\d+', text):
                raise SourceError(f'{where}: a number expected, not {text!r}')
            number = int(text)
            if kind == 'word':
                if not 0 <= number <= 0xFFFF:
                    raise SourceError(f'{where}: {number} does not fit 16 bits')
                self.out += struct.pack('<H', number)
            else:
                if not -2 ** 31 <= number < 2 ** 31:
                    raise SourceError(f'{where}: {number} does not fit 32 bits')
                self.out += struct.pack('<i', number)
        elif kind.startswith('enum '):
            members = self.enums[kind[5:]]
            if text not in members:
                raise SourceError(f'{where}: {text!r} is no member of {kind[5:]}')
            self.out.append(members.index(text))
        elif kind.startswith('set '):
            members = self.enums[kind[4:]]
            if text == 'all':
                bits = (1 << len(members)) - 1
            else:
                match = re.fullmatch(r'\{(.*)\}', text)
                if not match:
                    raise SourceError(f'{where}: a set {{...}} or all expected')
                bits = 0
                for member in filter(None, (m.strip() for m in match.group(1).split(','))):
                    if member not in members:
                        raise SourceError(f'{where}: {member!r} is no member of {kind[4:]}')
                    bits |= 1 << members.index(member)
            self.out += bits.to_bytes((len(members) + 7) // 8, 'little')
        elif kind == 'str':
            if not re.fullmatch(r'(\s*"(?:[^"\\]|\\.)*")+', text):
                raise SourceError(f'{where}: a string literal expected')
            self.string(c_literals(text))
        else:
            raise AssertionError(kind)

    def string(self, data):
        # A one-line text that ends in its line break is stored without it.
        if len(data) > 1 and data.find(b'\r\n') == len(data) - 2:
            data = data[:-2]
        self.out += struct.pack('<i', len(data)) + bytes(b ^ STRING_MASK for b in data)


def parse_source(path):
    """{name: value text}, the filters and the text overrides."""
    values, filters, texts = {}, [], {}
    with open(path, encoding='utf-8') as stream:
        lines = stream.read().splitlines()
    current = None
    for number, line in enumerate(lines, 1):
        where = f'{path}:{number}'
        stripped = line.strip()
        if not stripped or stripped.startswith('#'):
            continue
        if line[0].isspace() and current is not None:
            current[0][current[1]] += ' ' + stripped
            continue
        match = re.fullmatch(r'(Text\s+)?(\w+)\s*=\s*(.*)', stripped)
        if not match:
            raise SourceError(f'{where}: "Name = value" expected')
        name, value = match.group(2), match.group(3)
        if match.group(1):
            if name in texts:
                raise SourceError(f'{where}: text {name} given twice')
            texts[name] = value
            current = (texts, name)
        elif name == 'Filter':
            filters.append((value, where))
            current = None
        else:
            if name in values:
                raise SourceError(f'{where}: {name} given twice')
            values[name] = (value, where)
            current = (ValueRef(values), name)
    return values, filters, texts


class ValueRef:
    """Lets a continuation line extend a (value, where) entry."""

    def __init__(self, values):
        self.values = values

    def __getitem__(self, name):
        return self.values[name][0]

    def __setitem__(self, name, text):
        self.values[name] = (text, self.values[name][1])


def split_filter(text, where):
    parts = re.findall(r'\s*("(?:[^"\\]|\\.)*"|[^,]+)\s*(?:,|$)', text)
    if len(parts) != len(FILTER_TYPES):
        raise SourceError(f'{where}: a filter has {len(FILTER_TYPES)} values')
    return parts


def make(source):
    enums, default_texts = enumerations()
    values, filters, text_overrides = parse_source(source)
    w = Writer(enums)
    known = {name for name, _ in FIELDS + TAIL_FIELDS}
    for name in values:
        if name not in known:
            raise SourceError(f'{values[name][1]}: {name} is no option of the stream')
    for name, _ in FIELDS + TAIL_FIELDS:
        if name not in values:
            raise SourceError(f'{source}: {name} is missing')
    if values['ErrorsNumberToSave'][0].strip() == '0':
        raise SourceError(f'{values["ErrorsNumberToSave"][1]}: the log keeps at least one report')

    for name, kind in FIELDS:
        text, where = values[name]
        if name == 'HTMLLayout' and text.strip() == 'default':
            w.string(default_html_layout())
        else:
            w.value(kind, text, where)
    w.out += struct.pack('<i', len(filters))
    for text, where in filters:
        for kind, part in zip(FILTER_TYPES, split_filter(text, where)):
            w.value(kind, part, where)
    text, where = values['EMailMessage']
    w.value('str', text, where)
    names = [name for name, _ in default_texts]
    for name in text_overrides:
        if name not in names:
            raise SourceError(f'{source}: {name} is no text identifier')
    for name, default in default_texts:
        if name in text_overrides:
            w.value('str', text_overrides[name], f'{source}: Text {name}')
        else:
            w.string(default)
    text, where = values['TextsCollection']
    w.value('str', text, where)
    return bytes(w.out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--source', required=True)
    parser.add_argument('--out', required=True)
    args = parser.parse_args()
    try:
        data = make(args.source)
    except (SourceError, OSError, UnicodeError) as error:
        raise SystemExit(f'options-file: {error}')
    if os.path.exists(args.out):
        with open(args.out, 'rb') as stream:
            if stream.read() == data:
                return
    with open(args.out, 'wb') as stream:
        stream.write(data)


if __name__ == '__main__':
    main()
