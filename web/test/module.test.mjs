// The module alone, under Node: decodeGrey gives what the native reader
// gives on the same grey pixels, its rows those of --json --explain, and
// leaves no memory behind.
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';
import path from 'node:path';
import { before, describe, test } from 'node:test';

import { createReader } from '../dist/vantor.mjs';
import { checkSymbolsAgainstRows, makePictures, nativeRows, pgmBytes, picturesIn, readPgm, rowsOf } from './support.mjs';

let reader;
let pictures;

before(async () => {
    reader = await createReader();
    pictures = picturesIn(makePictures(), '.pgm');
});

describe('decodeGrey equals the native reader', () => {
    // least: how many pictures must give a symbol (the set has 7 Micro QR).
    for (const [label, options, flags, least = 10] of [
        ['defaults', {}, []],
        ['all symbols', { all: true }, ['--all']],
        ['classic readings only', { thorough: false }, ['--no-thorough']],
        ['default effort named', { effort: 'default' }, ['--effort', 'default']],
        ['exhaustive effort', { effort: 'exhaustive' }, ['--effort', 'exhaustive']],
        ['exhaustive effort, every symbol', { effort: 'exhaustive', all: true }, ['--effort', 'exhaustive', '--all']],
        ['fast effort', { effort: 'fast' }, ['--effort', 'fast']],
        ['Model 2 only', { formats: ['qr'] }, ['--formats', 'qr']],
        ['Micro QR only, as one text', { formats: 'microqr' }, ['--formats', 'microqr'], 7],
        ['any case, blanks around the names', { formats: ' QR, MicroQR' }, ['--formats', 'qr,microqr']],
    ]) {
        test(label, async () => {
            const native = nativeRows(pictures, flags);
            let decoded = 0;
            for (const file of pictures) {
                const { grey, width, height } = readPgm(file);
                const result = await reader.decodeGrey(grey, width, height, options);
                // The module's rows are the native reader's, field for field.
                assert.deepEqual(rowsOf(result, file), native.get(file), path.basename(file));
                assert.equal(checkSymbolsAgainstRows(result), null, path.basename(file));
                decoded += result.length > 0;
            }
            // The set holds symbols and pictures without one.
            assert.ok(decoded >= least && decoded < pictures.length, `${decoded} of ${pictures.length} decoded`);
        });
    }

    test('the facts --json leaves out: mirrored, inverted, stage', async () => {
        const facts = {};
        for (const file of pictures) {
            const { grey, width, height } = readPgm(file);
            facts[path.basename(file, '.pgm')] = await reader.decodeGrey(grey, width, height);
        }
        assert.equal(facts.mirrored[0].mirrored, true);
        assert.equal(facts.inverted[0].inverted, true);
        for (const name of ['plain-0', 'large', 'perspective-45', 'turned-130']) {
            assert.equal(facts[name][0].mirrored, false, name);
            assert.equal(facts[name][0].inverted, false, name);
            assert.equal(facts[name][0].format, 'QRCode', name);
            assert.equal(facts[name][0].version_name, String(facts[name][0].version), name);
            // Left out when the symbol does not carry them, as in --json.
            for (const field of ['eci', 'structured_append', 'fnc1'])
                assert.ok(!(field in facts[name][0]), `${name}: ${field}`);
            assert.equal(facts[name].reason, null, name);
            assert.equal(facts[name].stage, 'text decoded', name);
        }
        assert.equal(facts.eci[0].eci, 26);
        assert.deepEqual(facts.gs1[0].fnc1, { position: 1 });
        assert.deepEqual(facts['fnc1-second'][0].fnc1, { position: 2, application: 37 });
        assert.equal(facts.blank.reason, 'no eye patterns found');
        assert.equal(facts.blank.stage, 'nothing located');
        assert.equal(facts['eyes-only'].reason, 'no symbol found');
        assert.notEqual(facts['eyes-only'].stage, 'nothing located');
    });

    test('Micro QR symbols M1 to M4: kind, version name, mirrored', async () => {
        const micro = pictures.filter((file) => path.basename(file).startsWith('micro-'));
        assert.equal(micro.length, 7);
        const versions = new Set();
        for (const file of micro) {
            const { grey, width, height } = readPgm(file);
            const [symbol] = await reader.decodeGrey(grey, width, height);
            assert.equal(symbol?.format, 'MicroQRCode', path.basename(file));
            assert.equal(symbol.version_name, `M${symbol.version}`, path.basename(file));
            assert.ok(symbol.mask >= 0 && symbol.mask <= 3, path.basename(file));
            assert.equal(symbol.mirrored, path.basename(file) === 'micro-mirrored.pgm', path.basename(file));
            versions.add(symbol.version_name);
            // Left out of the kinds looked for, the symbol is not read.
            assert.equal((await reader.decodeGrey(grey, width, height, { formats: ['qr', 'rmqr'] })).length, 0);
        }
        assert.deepEqual([...versions].sort(), ['M1', 'M2', 'M3', 'M4']);
    });

    test('searched: whether the thorough search ran', async () => {
        const searched = async (name, options) => {
            const { grey, width, height } = readPgm(pictures.find((file) => path.basename(file) === `${name}.pgm`));
            return (await reader.decodeGrey(grey, width, height, options)).searched;
        };
        // The default effort's quick look settles a blank picture; the
        // exhaustive effort searches it; eye patterns take the default on,
        // and the fast effort to the same first search.
        assert.equal(await searched('blank', {}), false);
        assert.equal(await searched('blank', { effort: 'exhaustive' }), true);
        assert.equal(await searched('blank', { effort: 'exhaustive', thorough: false }), false);
        assert.equal(await searched('eyes-only', {}), true);
        assert.equal(await searched('eyes-only', { effort: 'fast' }), true);
        // Read by the first pass, or only by the search.
        assert.equal(await searched('plain-0', { effort: 'exhaustive' }), false);
        assert.equal(await searched('mirrored', {}), true);
    });
});

test('a picture wider than the classic readings take is explained as the native reader explains it', async () => {
    // A symbol at the left of a strip 32,800 pixels wide: the thorough
    // search alone reads it.
    const plain = readPgm(pictures.find((file) => path.basename(file) === 'plain-0.pgm'));
    const width = 32800;
    const grey = new Uint8Array(width * plain.height).fill(235);
    for (let y = 0; y < plain.height; ++y)
        grey.set(plain.grey.subarray(y * plain.width, (y + 1) * plain.width), y * width);
    const file = path.join(path.dirname(pictures[0]), 'wide.pgm');
    writeFileSync(file, pgmBytes({ grey, width, height: plain.height }));
    const result = await reader.decodeGrey(grey, width, plain.height);
    assert.deepEqual(rowsOf(result, file), nativeRows([file]).get(file));
    assert.match(result.explain.join('\n'), /classic readings do not run/);
});

test('bad calls are refused with a clear error', async () => {
    const grey = new Uint8Array(100).fill(255);
    await assert.rejects(reader.decodeGrey(grey, 0, 10), /bad image size 0 x 10/);
    await assert.rejects(reader.decodeGrey(grey, 20, 10), /100 grey bytes are too few for 20 x 10/);
    await assert.rejects(reader.decodeGrey([1, 2, 3], 3, 1), /must be a Uint8Array/);
    await assert.rejects(reader.decodeGrey(grey, 10, 10, { speed: 3 }), /unknown option "speed"/);
    await assert.rejects(reader.decodeGrey(grey, 10, 10, { effort: 2 }), /effort must be a name/);
    // The library itself refuses an effort it has no name for.
    await assert.rejects(reader.decodeGrey(grey, 10, 10, { effort: 'thorough' }),
        /unknown effort "thorough" \(known: default, fast, exhaustive\)/);
    await assert.rejects(reader.decodeGrey(grey, 10, 10, { effort: 'Fast' }), /unknown effort "Fast"/);
    await assert.rejects(reader.decodeGrey(grey, 10, 10, { formats: ['qr', 'aztec'] }), /unknown format "aztec"/);
    await assert.rejects(reader.decodeGrey(grey, 10, 10, { formats: 'qr,' }), /unknown format ""/);
    await assert.rejects(reader.decodeGrey(grey, 10, 10, { formats: [] }), /formats must be a list/);
    await assert.rejects(reader.decodeImageData({ width: 5, height: 5 }), /needs an ImageData/);
    await assert.rejects(reader.decodeBlob(new Blob([])), /needs a browser/);
    // The reader still works after refusals.
    assert.equal((await reader.decodeGrey(grey, 10, 10)).reason, 'no eye patterns found');
});

test('1,000 decodes in a row leave the heap where it was', async () => {
    const set = pictures.map(readPgm);
    // One round first: anything the module sets up once is in place.
    for (const p of set)
        await reader.decodeGrey(p.grey, p.width, p.height, { all: true });
    const before = await reader.heapInUse();
    let found = 0;
    for (let i = 0; i < 1000; ++i) {
        const p = set[i % set.length];
        const options = { all: i % 2 === 0, effort: ['default', 'fast', 'exhaustive'][i % 3] };
        found += (await reader.decodeGrey(p.grey, p.width, p.height, options)).length;
        if (i % 97 === 0)
            assert.equal(await reader.heapInUse(), before, `after decode ${i + 1}`);
    }
    assert.equal(await reader.heapInUse(), before);
    assert.ok(found > 500, `${found} symbols found`);
});
