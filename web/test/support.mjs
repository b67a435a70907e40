// What the web tests share: the generated pictures, the native reader's
// --json rows for them, and a symbol put into the rows' shape.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const webDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
export const nativeReader = process.env.VANTOR_CLI ?? path.resolve(webDir, '../build/vantor');

// A fresh folder of pictures from make_pictures.py, removed when the
// process ends.
export function makePictures() {
    const folder = mkdtempSync(path.join(tmpdir(), 'vantor-web-'));
    process.on('exit', () => rmSync(folder, { recursive: true, force: true }));
    execFileSync('/usr/bin/python3', [path.join(webDir, 'test/make_pictures.py'), folder]);
    return folder;
}

export function picturesIn(folder, extension) {
    return readdirSync(folder).filter((name) => name.endsWith(extension)).sort().map((name) => path.join(folder, name));
}

export function readPgm(file) {
    const data = readFileSync(file);
    const header = /^P5\s+(\d+)\s+(\d+)\s+255\s/.exec(data.subarray(0, 64).toString('latin1'));
    if (!header)
        throw new Error(`${file}: not an 8-bit binary PGM`);
    const width = Number(header[1]);
    const height = Number(header[2]);
    return { width, height, grey: new Uint8Array(data.subarray(header[0].length, header[0].length + width * height)) };
}

export function pgmBytes({ grey, width, height }) {
    return Buffer.concat([Buffer.from(`P5\n${width} ${height}\n255\n`), Buffer.from(grey)]);
}

// The native reader's --json --explain rows, file name -> rows in order.
export function nativeRows(files, flags = []) {
    let out;
    try {
        out = execFileSync(nativeReader, ['--json', '--explain', '-j', '2', ...flags, ...files], { encoding: 'utf8' });
    } catch (error) {
        if (error.status !== 1) // 1: some file had no symbol
            throw error;
        out = error.stdout;
    }
    const rows = new Map();
    for (const line of out.split('\n').filter(Boolean)) {
        const row = JSON.parse(line);
        if (!rows.has(row.file))
            rows.set(row.file, []);
        rows.get(row.file).push(row);
    }
    return rows;
}

const hex = (bytes) => Buffer.from(bytes).toString('hex');

// A reader's result in the shape of the native rows for `file`: symbols'
// corners as floats, the explanation on each row, a whole structured-append
// set's message on a row of its own.
export function rowsOf(result, file) {
    const explain = { explain: result.explain };
    if (result.length === 0)
        return [{ file, decoded: false, error: 'no symbol', reason: result.reason, ...explain }];
    const rows = result.map((s) => {
        const row = {
            file, decoded: true, text: s.text, bytes_hex: hex(s.bytes), version: s.version, level: s.level,
            mask: s.mask, corners: s.corners, corrected: s.corrected,
        };
        if (s.eci !== null)
            row.eci = s.eci;
        if (s.structuredAppend)
            row.structured_append = s.structuredAppend;
        if (s.fnc1)
            row.fnc1 = s.fnc1;
        return { ...row, format: s.format, version_name: s.versionName, ...explain };
    });
    if (result.joined) {
        const { count, parity } = result[0].structuredAppend;
        rows.push({
            file, decoded: true, joined: true, text: result.joined.text, bytes_hex: hex(result.joined.bytes),
            structured_append: { count, parity }, ...explain,
        });
    }
    return rows;
}

// Native rows with their corners read as floats, as the reader gives them.
export function asFloats(rows) {
    return rows.map((row) => (row.corners ? { ...row, corners: row.corners.map(Math.fround) } : row));
}
